// The file-level steps on a block's BufferedFile: open, create, close, flush,
// empty, remove, the file lock with its depth, and the cached file size.
#pragma once

#include "driver_core.h"

namespace drv {

int32_t openFile(const DriverDefinition& driver, Drv_FCB& fcb, int32_t mode);
int32_t createFile(Drv_FCB& fcb);
int32_t closeFile(const DriverDefinition& driver, Drv_FCB& fcb);
int32_t flushFile(Drv_FCB& fcb);
int32_t emptyFile(Drv_FCB& fcb);
int32_t removeFile(Drv_FCB& fcb);
// Replaces fileName with the full name; answers the name check's error.
int32_t checkName(Drv_FCB& fcb);
BufferedFile& makeFile(Drv_FCB& fcb);
// The block's BufferedFile, made when missing.
inline BufferedFile& fileOf(Drv_FCB& fcb) {
    return fcb.file ? *fcb.file : makeFile(fcb);
}

int32_t lockFile(Drv_FCB& fcb);
int32_t lockFileWithTimeout(Drv_FCB& fcb, int32_t seconds);
int32_t lockForWrite(Drv_FCB& fcb);
int32_t unlockFile(Drv_FCB& fcb);

// Frees what close frees, without reporting: for a block that is discarded,
// so that nothing made for it (a file object, buffers, the layer's tail)
// outlives it.
void releaseBlockFiles(const DriverDefinition& driver, Drv_FCB& fcb);

// Positions and sizes are 32-bit: whether `length` bytes from `offset` end
// within them.
inline bool fitsBelowEdge(uint32_t offset, uint64_t length) {
    return uint64_t{offset} + length <= UINT32_MAX;
}

// A read that failed on its way to the file (anything but the end of the
// file) leaves Next's position where it was, so that a retry reads the same
// record instead of skipping it.
inline bool positionStands(int32_t readError) {
    return readError != 0 && readError != 33;
}

// The record converted to the OEM set in `copy`, which is made when null:
// the OEM attribute may be set after the open that would have made it, and
// reads convert from that moment on. Answers the copy, null when it cannot
// be made; the caller keeps it in its block.
uint8_t* oemCopyOfRecord(Drv_FCB& fcb, uint8_t* copy);

int32_t refreshFileSize(Drv_FCB& fcb, uint32_t& size);
// Whether record steps take the file size from fileSize as it stands: all
// but shared files without caching, which ask the OS each time.
inline bool sizeIsCached(const Drv_FCB& fcb) {
    return !(fcb.driverFlags & kFlagShared) || (fcb.driverFlags & kFlagCaching);
}
// The file size as record steps take it: cached, refreshed for shared
// uncached files; 5 when the OS cannot tell.
inline int32_t takeFileSize(Drv_FCB& fcb, uint32_t& size) {
    if (!sizeIsCached(fcb)) return refreshFileSize(fcb, size);
    size = fcb.fileSize;
    return 0;
}

}  // namespace drv
