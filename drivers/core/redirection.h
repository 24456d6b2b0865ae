// Redirection of a file declaration to a remote driver the host supplies:
// the module-wide table of redirected declarations, the switch (property
// 29510), the look-up of the remote file before each operation, and the
// forwarding of the operations a remote file takes.
#pragma once

#include "driver_core.h"

namespace drv {

// Module start and end make and destroy the table.
void createRedirectionTable();
void destroyRedirectionTable();

// The declaration's redirected byte: bit 0 marks a file handed to a remote driver.
inline constexpr uint8_t kRedirectedBit = 0x01;

inline bool isRedirected(const Drv_FileDecl& declaration) {
    return declaration.redirected & kRedirectedBit;
}
// Some declaration of this plug-in is redirected; local opens are refused.
bool someFileRedirected();

// Finds the remote file that serves this one operation; answers 0, 80, 95
// or 96.
int32_t lookUpRemoteFile(const Drv_FileDecl& declaration, intptr_t& remoteFile);

// Runs the operation against the remote file when the forwarding rules send
// it there (or refuse it); false when it runs locally.
bool forwardOperation(const DriverDefinition& driver, Operation& op, intptr_t remoteFile);

// Property 29510: a non-empty value switches on, an empty one off.
void switchRedirection(const DriverDefinition& driver, Operation& op);

inline constexpr int32_t kRedirectProperty = 29510;

}  // namespace drv
