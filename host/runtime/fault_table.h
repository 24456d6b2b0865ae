// Inside the stand-in: the OS fault table every __Os service consults, and
// the host event record.
#pragma once

#include "host_control.h"

namespace x9host::detail {

// Uses up one fault of the given kind when one is armed; the snapshot holds
// the table as it was, for the fault's parameters.
bool consumeFault(int32_t OsFaults::*counter, OsFaults* snapshot);
// Counts one call of the kind against its armed fault; true when this call
// is the one to fail (bytes: the short write's length).
bool fireArmedFault(FaultKind kind, uint32_t* bytes = nullptr);

void noteEvent(const std::string& event);

}  // namespace x9host::detail
