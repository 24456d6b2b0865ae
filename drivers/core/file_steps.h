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

int32_t refreshFileSize(Drv_FCB& fcb, uint32_t& size);
// The file size as record steps take it: cached, refreshed for shared
// uncached files; 5 when the OS cannot tell.
inline int32_t takeFileSize(Drv_FCB& fcb, uint32_t& size) {
    if ((fcb.driverFlags & kFlagShared) && !(fcb.driverFlags & kFlagCaching))
        return refreshFileSize(fcb, size);
    size = fcb.fileSize;
    return 0;
}

}  // namespace drv
