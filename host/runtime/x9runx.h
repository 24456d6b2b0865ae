// The services of the host runtime x9runx that the driver plug-ins import,
// under the runtime's own names: state and trace hooks, the string stack, the
// error state, record clearing and character-set conversion, the OS file
// services, the class descriptors, the hash table and the remote drivers.
// libx9runx is a stand-in for the real runtime; host_control.h steers it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drv_records.h"

#define X9RT_API __attribute__((visibility("default")))

// A string popped from the runtime's string stack; the runtime owns the text.
struct HrtString {
    char* text;
    int32_t length;
};

// Table the plug-in hands to __sysinit: initialisers run at load, terminators
// at unload (both lists end with a null entry).
struct HrtInitTable {
    void (*const* initialisers)();
    void (*const* terminators)();
};

extern "C" {
X9RT_API int32_t drv_check_state(Drv_FCB* fcb, Drv_KCB* kcb, int32_t code, HrtString* stringA);
X9RT_API void drv_update_state(Drv_FCB* fcb, Drv_KCB* kcb, int32_t code, int32_t error,
                               int32_t madeBlock);
X9RT_API void drv_TraceOp(Drv_FCB* fcb, Drv_KCB* kcb, const char* driver, int32_t code,
                          int32_t error, int32_t elapsed);

X9RT_API void Hrt$PopTemp(HrtString* out);
X9RT_API void Hrt$freestr(HrtString* s);
X9RT_API void Hrt$PushString(const char* text, int32_t length);
X9RT_API void Hrt$PushCString(const char* text);
X9RT_API void Hrt$PopString(char* buffer, int32_t size);
X9RT_API void Hrt$StackHeap();

X9RT_API void Hrt$seterror(int32_t code);
X9RT_API void Hrt$SetErrorFile(Drv_FileDecl* declaration);
X9RT_API void Hrt$clearerror();

X9RT_API void Hrt$activate_drv(Drv_FileDecl* declaration, int32_t mode, int32_t a, int32_t b,
                               int32_t c, int32_t d, int32_t e);
X9RT_API void Hrt$deactivate_drv(Drv_FileDecl* declaration);
X9RT_API void Hrt$ThreadedFileOpen(Drv_FileDecl* declaration);
X9RT_API void Hrt$ThreadedFileClose(Drv_FileDecl* declaration);

X9RT_API void Hrt$CLEAR(void* buffer, void* classDescriptor, int32_t fill);
X9RT_API void Hrt$OEMTOANSIdesc(void* buffer, void* classDescriptor);
X9RT_API void Hrt$ANSITOOEMdesc(void* buffer, void* classDescriptor);

X9RT_API int32_t Hrt$THREAD();
X9RT_API void Hrt$DELAY(int32_t milliseconds);
X9RT_API int32_t Hrt$getLogoutNumber(Drv_FileDecl* declaration);
X9RT_API void Hrt$init();
// The runtime's C-library clock, in hundredths of a second. Exported under a
// runtime name because a library called `clock` would replace the C
// library's for the whole process.
X9RT_API int32_t Hrt$clock();
// The runtime's memory functions (same reason for the names).
X9RT_API void* Hrt$calloc(size_t count, size_t size);
X9RT_API void Hrt$free(void* block);

X9RT_API char* drv_MakeCSTRING(const char* text, int32_t length);
X9RT_API int32_t drv_ChkName(const char* name, char* buffer260, const char* extension,
                             int32_t flags);
X9RT_API char* drv_Strup(char* text);
X9RT_API void drv_NextDrvStr(Drv_FCB* fcb, char* buffer, int32_t* length);
X9RT_API int32_t drv_CopyOrRenameFile(const char* name, const char* target, int32_t rename);
X9RT_API const char* drv_GetTypeName(int32_t type);

X9RT_API int32_t __OsOpenFile(const char* name, int32_t* handle, int32_t mode);
X9RT_API int32_t __OsCreateFile(const char* name, int32_t* handle, int32_t attributes);
X9RT_API int32_t __OsCloseFile(int32_t handle);
X9RT_API int32_t __OsReadFile(int32_t handle, uint32_t count, void* buffer, uint32_t* done);
X9RT_API int32_t __OsWriteFile(int32_t handle, uint32_t count, const void* buffer, uint32_t* done);
X9RT_API int32_t __OsSeekFile(int32_t handle, uint32_t offset, int32_t origin);
X9RT_API int32_t __OsGetFilePos(int32_t handle, uint32_t* position);
X9RT_API int32_t __OsGetFileLen(int32_t handle, uint32_t* length);
X9RT_API int32_t __OsFileTruncate(int32_t handle);
X9RT_API int32_t __OsLockFile(int32_t handle, uint32_t offset, uint32_t length);
X9RT_API int32_t __OsUnlockFile(int32_t handle, uint32_t offset, uint32_t length);
X9RT_API int32_t __OsCommitFile(int32_t handle);
X9RT_API int32_t __OsDeleteFile(const char* name);

// WIN.INI reads; the stand-in reads the file named by X9_WININI.
X9RT_API uint32_t GetProfileIntA(const char* section, const char* key, int32_t fallback);
X9RT_API uint32_t GetProfileStringA(const char* section, const char* key, const char* fallback,
                                    char* buffer, uint32_t size);

X9RT_API void __sysinit(const HrtInitTable* table, void* instance);
X9RT_API void __systerm(void* instance);

// Remote drivers: FindRemoteDriver pops the target and the driver name that
// the caller pushed (driver name first).
X9RT_API intptr_t FindRemoteDriver();
X9RT_API intptr_t FindRemoteFile(intptr_t driver, Drv_FileDecl* declaration, int32_t thread);
X9RT_API int32_t CallRemoteFile(intptr_t file, int32_t code, ...);
X9RT_API void DestroyRemoteFile(intptr_t driver, Drv_FileDecl* declaration, int32_t thread);
}

// Error numbers the OS services answer with.
inline constexpr int32_t kOsFileNotFound = 2;
inline constexpr int32_t kOsPathNotFound = 3;
inline constexpr int32_t kOsAccessDenied = 5;
inline constexpr int32_t kOsLockViolation = 32;

// Raw field description as class_descriptor::FieldDesc hands it out.
namespace fd {
inline constexpr std::size_t kSize = 412;
inline constexpr std::size_t kText100 = 100;
inline constexpr std::size_t kDimensionCount = 200;
inline constexpr std::size_t kDimensions = 201;
inline constexpr std::size_t kMaxDimensions = 21;
inline constexpr std::size_t kType = 285;
inline constexpr std::size_t kOffset = 286;
inline constexpr std::size_t kElementSize = 290;
inline constexpr std::size_t kPlaces = 294;
inline constexpr std::size_t kText298 = 298;
inline constexpr std::size_t kGroups = 398;
inline constexpr std::size_t kLevel = 410;
inline constexpr std::size_t kTextSize = 100;
}  // namespace fd

// The host's description of a record: description 0 is the record itself
// (a group), 1..NFields the fields in declaration order.
class X9RT_API class_descriptor {
  public:
    struct Field {
        uint8_t raw[fd::kSize] = {};
        std::string name, label, comment;
    };
    explicit class_descriptor(std::vector<Field> fields) : fields_(std::move(fields)) {}
    int32_t NFields() const { return static_cast<int32_t>(fields_.size()) - 1; }
    const uint8_t* FieldDesc(int32_t number) const;
    // The three texts come as new C strings the caller frees with Hrt$free.
    char* FIELDNAME(int32_t number) const;
    char* FIELDLABEL(int32_t number) const;
    char* FIELDCOMMENT(int32_t number) const;
    int32_t recordLength() const;

  private:
    std::vector<Field> fields_;
};

// A view of a declaration's class descriptor, as the core takes it for the
// time it builds a field table.
class X9RT_API ClassDesc {
  public:
    ClassDesc(void* descriptor, int32_t flags);
    ~ClassDesc();
    ClassDesc(const ClassDesc&) = delete;
    ClassDesc& operator=(const ClassDesc&) = delete;
    bool valid() const { return descriptor_ != nullptr; }
    int32_t NFields() const;
    const uint8_t* FieldDesc(int32_t number) const;
    char* FIELDNAME(int32_t number) const;
    char* FIELDLABEL(int32_t number) const;
    char* FIELDCOMMENT(int32_t number) const;

  private:
    const class_descriptor* descriptor_;
};

// Hash table of elements found by an 8-byte key (a declaration and a thread).
struct HashKey {
    const void* declaration;
    int32_t thread;
    bool operator==(const HashKey&) const = default;
};

struct HashElement {
    HashKey key;
};

class X9RT_API HashTable {
  public:
    using Factory = HashElement* (*)();
    using Destroyer = void (*)(HashElement*);
    explicit HashTable(int32_t buckets);
    ~HashTable();
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;
    void setFactory(Factory make, Destroyer destroy);
    HashElement* HAdd(const HashKey& key);
    HashElement* HFind(const HashKey& key) const;
    void HDelete(HashElement* element);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
