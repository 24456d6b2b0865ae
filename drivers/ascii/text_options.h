// The text driver's option parser: the core options FILEBUFFERS and
// QUICKSCAN plus ENDOFRECORD, CTRLZISEOF, CLIP and TAB. Each call answers the
// option's value before the change and never fails.
#pragma once

#include <string>

#include "driver_core.h"

namespace ascii {

// The option text is upper-cased already; the answer is empty when the
// option is unknown.
void applyTextOption(Drv_FCB& fcb, const std::string& option, std::string& answer);

// The open's defaults: CR LF, Ctrl-Z ends the text, CLIP on, TAB 8. Answers
// 8 when the terminator cannot be allocated.
int32_t setTextDefaults(Drv_FCB& fcb);

}  // namespace ascii
