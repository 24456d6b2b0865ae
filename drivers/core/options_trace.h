// Driver options (FILEBUFFERS, QUICKSCAN) and tracing: the trace settings
// read from WIN.INI when a block is made, the trace line and the trace file
// switch.
#pragma once

#include <string>

#include "driver_core.h"

namespace drv {

// The core's option step on an upper-cased option text; answers false when
// the option is not one of the core's.
bool applyCoreOption(Drv_FCB& fcb, const std::string& option, std::string& answer);
// Runs every '/'-started option of the block's driver string.
void applyDriverString(const DriverDefinition& driver, Drv_FCB& fcb);

void setUpTrace(const DriverDefinition& driver, Drv_FCB& fcb);
void writeTraceLine(Drv_FCB& fcb, const char* text, int32_t length);
void switchTraceFile(Drv_FCB& fcb, const char* text, int32_t length);

}  // namespace drv
