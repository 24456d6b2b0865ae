// The driver core shared by the plug-ins: the records shared with the host
// (DrvReg, Drv_FileDecl, Drv_FCB, FieldDesc50), the operation codes (DrvOp),
// the buffered file (BufferedFile), and the entry that a plug-in runs with
// its own definition and record layer.
#pragma once

#include <cstdint>
#include <string>

#include "buffered_file.h"
#include "drv_op.h"
#include "drv_records.h"
#include "x9runx.h"

namespace drv {

// One call of the entry, as the record layer and the core steps see it.
struct Operation {
    int32_t code = 0;
    Drv_FileDecl* declaration = nullptr;
    Drv_FCB* fcb = nullptr;
    Drv_KCB* kcb = nullptr;
    const intptr_t* args = nullptr;  // extra arguments after the key, if any
    HrtString stringA{};
    HrtString stringB{};
    int32_t result = 0;
    int32_t error = 0;
    std::string resultText;

    intptr_t arg(int index) const { return args ? args[index] : 0; }
    uint32_t position(int index) const { return static_cast<uint32_t>(arg(index)); }
};

// What a plug-in adds to the core.
class RecordLayer {
  public:
    virtual ~RecordLayer() = default;
    // Runs a record operation; false when the code is not one of the layer's.
    virtual bool perform(Operation& op) = 0;
    // The driver's own open step, between sizing the file and making the
    // cache buffer; its error ends the open.
    virtual int32_t prepareOpen(Drv_FCB& fcb) = 0;
    // Frees the driver's tail of the block at close.
    virtual void releaseAtClose(Drv_FCB& fcb) = 0;
    // One option text (upper-cased); fills the answer.
    virtual void applyOption(Drv_FCB& fcb, const std::string& option, std::string& answer) = 0;
    // Field types the record description may use outside overlays.
    virtual bool acceptsFieldType(uint8_t type) const = 0;
};

struct DriverDefinition {
    const DrvReg* registration;
    const char* profileSection;  // WIN.INI section of the trace settings
    const char* defaultTraceFile;
    RecordLayer* layer;
    // The layer's Next, which the entry calls straight on its short path.
    int32_t (*next)(Drv_FCB& fcb);
};

// The whole entry: prologue, the operation, epilogue.
int32_t runEntry(const DriverDefinition& driver, int32_t code, Drv_FileDecl* declaration,
                 const intptr_t* args);

// The position values both record layers share (Pointer, Position, Bytes,
// SetFirst, SetAt, ResetTo); false for other codes.
bool performPositionValue(Operation& op);
// The position held in the first 4 bytes of a string (little-endian).
uint32_t positionArgument(const HrtString& text);

// Module start and end of a plug-in.
void startModule();
void endModule();

}  // namespace drv
