#include "file_steps.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "block.h"
#include "options_trace.h"

namespace drv {

namespace {

constexpr uint32_t kLockOffset = 0;
constexpr uint32_t kLockLength = 1;
constexpr int32_t kNoFile = 6;  // as the OS answers for a handle that is not open
// Pause between tries of a lock held elsewhere, in milliseconds.
constexpr int32_t kLockRetryDelay = 100;
constexpr int32_t kTimedLockDelay = 1000;

// Deny all, deny write and deny read keep other writers out, so the window
// can be trusted.
bool cachingMode(int32_t mode) {
    return (mode & 0x30) != 0;
}

uint32_t cacheSizeFor(int32_t mode, int32_t recordLength) {
    if (static_cast<uint32_t>(recordLength) >= 0x7FFFFF7Fu) return 0xFFFFFEFFu;
    uint32_t size = cachingMode(mode) ? 1024 : 512;
    return std::max(size, 2 * static_cast<uint32_t>(recordLength));
}

void destroyFile(Drv_FCB& fcb) {
    std::unique_ptr<BufferedFile> owned(fcb.file);
    fcb.file = nullptr;
}

// Without a file there is nothing to lock; no file object is made for it.
int32_t lockAttempt(Drv_FCB& fcb) {
    if (!fcb.file) return kNoFile;
    int32_t answer = fcb.file->lock(kLockOffset, kLockLength);
    if (answer == 0) ++fcb.lockDepth;
    return answer;
}

}  // namespace

BufferedFile& makeFile(Drv_FCB& fcb) {
    fcb.file = std::make_unique<BufferedFile>().release();
    return *fcb.file;
}

int32_t checkName(Drv_FCB& fcb) {
    char full[260] = {};
    int32_t error = drv_ChkName(fcb.fileName, full, ".", 0);
    if (error != 0) return error;
    // The name stays as it was when its copy cannot be had.
    char* copy = copyText(full);
    if (!copy) return 8;
    fcb.fileName = freedText(fcb.fileName);
    fcb.fileName = copy;
    return 0;
}

int32_t openFile(const DriverDefinition& driver, Drv_FCB& fcb, int32_t mode) {
    // An open of a declaration that is open already closes it first, as
    // Close does, so that its handle is not lost and a window that cannot
    // be written out is reported here.
    if (fcb.file && fcb.file->handle() != 0) {
        if (int32_t error = closeFile(driver, fcb); error != 0) return error;
    }
    int32_t error = checkName(fcb);
    if (error == 0) error = fileOf(fcb).open(fcb.fileName, mode);
    if (error == 0) {
        int64_t length = fcb.file->length();
        fcb.fileSize = length < 0 ? 0 : static_cast<uint32_t>(length);
        error = length < 0 ? 5 : driver.layer->prepareOpen(fcb);
    }
    if (error == 0) {
        uint32_t size = cacheSizeFor(mode, fcb.recordLength);
        auto* buffer = static_cast<uint8_t*>(Hrt$calloc(size, 1));
        bool caching = cachingMode(mode);
        if (!buffer) {
            error = 8;  // not enough memory for the cache
        } else if (fcb.file->setBuffer(caching ? 0 : 1, buffer, size) != buffer) {
            Hrt$free(buffer);
            error = 5;
        } else {
            fcb.driverFlags = static_cast<uint8_t>(caching ? (fcb.driverFlags | kFlagCaching)
                                                           : (fcb.driverFlags & ~kFlagCaching));
            if (fcb.buffer != buffer) Hrt$free(fcb.buffer);
            fcb.buffer = buffer;
            fcb.bufferSize = size;
            applyDriverString(driver, fcb);
            uint8_t flags = fcb.driverFlags & ~(kFlagReadOnly | kFlagShared);
            if ((mode & 3) == 0) flags |= kFlagReadOnly;
            if ((mode & 0xF0) == 0x40) flags |= kFlagShared;
            fcb.driverFlags = flags;
        }
    }
    if (error != 0) closeFile(driver, fcb);
    return error;
}

int32_t createFile(Drv_FCB& fcb) {
    if (int32_t error = checkName(fcb); error != 0) return error;
    BufferedFile file;
    int32_t error = file.create(fcb.fileName);
    return error < 0 ? 5 : error;
}

// Close releases everything even when the last write fails; the failure is
// still reported, since records the caller was told were written are lost.
int32_t closeFile(const DriverDefinition& driver, Drv_FCB& fcb) {
    int32_t error = 0;
    if (fcb.file) {
        if (fcb.file->flush() != 0) error = 5;
        fcb.file->commit();
        destroyFile(fcb);
    }
    fcb.lockDepth = 0;
    Hrt$free(fcb.buffer);
    fcb.buffer = nullptr;
    fcb.bufferSize = 0;
    driver.layer->releaseAtClose(fcb);
    return error;
}

void releaseBlockFiles(const DriverDefinition& driver, Drv_FCB& fcb) {
    closeFile(driver, fcb);
}

int32_t flushFile(Drv_FCB& fcb) {
    if (!fcb.file) return 0;
    int32_t error = fcb.file->flush() != 0 ? 5 : 0;
    fcb.file->commit();
    return error;
}

int32_t emptyFile(Drv_FCB& fcb) {
    if (fileOf(fcb).truncate(0) != 0) return 5;
    fcb.fileSize = 0;
    return 0;
}

int32_t removeFile(Drv_FCB& fcb) {
    if (int32_t error = checkName(fcb); error != 0) return error;
    int32_t answer = __OsDeleteFile(fcb.fileName);
    if (answer == 0 || answer == kOsFileNotFound || answer == kOsPathNotFound) return answer;
    return 5;
}

// Waits between tries rather than spinning a core while another process
// holds the lock.
int32_t lockFile(Drv_FCB& fcb) {
    int32_t answer;
    while ((answer = lockAttempt(fcb)) == kOsLockViolation) Hrt$DELAY(kLockRetryDelay);
    return answer;
}

// The deadline is reckoned in 64 bits: 100 x seconds overflows 32 for
// time limits above about 248 days.
int32_t lockFileWithTimeout(Drv_FCB& fcb, int32_t seconds) {
    int64_t deadline = int64_t{Hrt$clock()} + int64_t{100} * seconds;
    for (;;) {
        int32_t answer = lockAttempt(fcb);
        if (answer == 0) return 0;
        Hrt$DELAY(kTimedLockDelay);
        if (Hrt$clock() >= deadline) return answer;
    }
}

int32_t lockForWrite(Drv_FCB& fcb) {
    if (fcb.lockDepth == 0) return lockAttempt(fcb);
    ++fcb.lockDepth;
    return 0;
}

int32_t unlockFile(Drv_FCB& fcb) {
    if (fcb.lockDepth == 0) return 0;
    if (--fcb.lockDepth != 0) return 0;
    return fcb.file ? fcb.file->unlock(kLockOffset, kLockLength) : kNoFile;
}

uint8_t* oemCopyOfRecord(Drv_FCB& fcb, uint8_t* copy) {
    auto length = static_cast<uint32_t>(std::max<int32_t>(+fcb.recordLength, 0));
    if (!copy) copy = static_cast<uint8_t*>(Hrt$calloc(std::max(length, 1u), 1));
    if (!copy) return nullptr;
    std::memcpy(copy, fcb.recordBuffer, length);
    Hrt$ANSITOOEMdesc(copy, fcb.declaration ? fcb.declaration->classDescriptor : nullptr);
    return copy;
}

int32_t refreshFileSize(Drv_FCB& fcb, uint32_t& size) {
    int64_t length = fcb.file ? fcb.file->length() : -1;
    if (length < 0) return 5;
    fcb.fileSize = static_cast<uint32_t>(length);
    size = fcb.fileSize;
    return 0;
}

}  // namespace drv
