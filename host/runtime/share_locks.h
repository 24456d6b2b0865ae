// Sharing of one file between opens, in this process and in others: each
// open's access and the access it denies the rest, held where the OS drops
// them when the open is closed or its process dies.
#pragma once

#include <cstdint>

namespace x9host::detail {

// Enters the open on handle, made with the runtime's open mode, into the
// file's sharing. Answers 0, EAGAIN when this open and one already in place
// refuse each other, or another errno. A refused handle holds nothing more
// once it is closed.
int joinSharing(int32_t handle, int32_t mode);

// Releases what joinSharing kept beside the handle; call before closing it.
void leaveSharing(int32_t handle);

}  // namespace x9host::detail
