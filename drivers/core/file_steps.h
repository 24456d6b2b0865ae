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
BufferedFile& fileOf(Drv_FCB& fcb);  // makes the BufferedFile when missing

int32_t lockFile(Drv_FCB& fcb);
int32_t lockFileWithTimeout(Drv_FCB& fcb, int32_t seconds);
int32_t lockForWrite(Drv_FCB& fcb);
int32_t unlockFile(Drv_FCB& fcb);

// The file size as record steps take it: cached, refreshed for shared
// uncached files; 5 when the OS cannot tell.
int32_t takeFileSize(Drv_FCB& fcb, uint32_t& size);

}  // namespace drv
