// Every open states its access and the access it denies the others as shared
// locks on four marker bytes of the file, taken as an open file description:
// two opens in one process count apart as two processes do, and the OS drops
// the markers when the description is closed or its process dies. The markers
// sit far beyond any file data, apart from the one-byte record lock at offset 0.
//
// off_t is 64-bit here in the 32-bit build as well, so that both builds put
// the markers at the same offsets.
#define _FILE_OFFSET_BITS 64

#include "share_locks.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <string>
#include <unordered_map>

namespace x9host::detail {

namespace {

constexpr off_t kMarkerBase = off_t{1} << 62;

enum Marker { kReading, kWriting, kDenyingRead, kDenyingWrite, kMarkers };

using Markers = std::array<bool, kMarkers>;

Markers markersOf(int32_t mode) {
    int access = mode & 3;  // 0 read, 1 write, 2 (and 3) both
    int sharing = mode & 0xF0;
    return {access != 1, access != 0, sharing == 0x10 || sharing == 0x30,
            sharing == 0x10 || sharing == 0x20};
}

// What another open must not hold for an open with the marker to go ahead:
// a reader wants nobody denying read, one that denies read wants no reader.
Marker opposite(int marker) {
    switch (marker) {
        case kReading:
            return kDenyingRead;
        case kWriting:
            return kDenyingWrite;
        case kDenyingRead:
            return kReading;
        default:
            return kWriting;
    }
}

struct flock markerRegion(int marker, short type) {
    struct flock region {};
    region.l_type = type;
    region.l_whence = SEEK_SET;
    region.l_start = kMarkerBase + marker;
    region.l_len = 1;
    return region;
}

int setMarker(int fd, int marker, short type) {
    struct flock region = markerRegion(marker, type);
    if (fcntl(fd, F_OFD_SETLK, &region) == 0) return 0;
    return errno == EACCES ? EAGAIN : errno;
}

void dropMarkers(int fd) {
    struct flock region = markerRegion(0, F_UNLCK);
    region.l_len = kMarkers;
    fcntl(fd, F_OFD_SETLK, &region);
}

// The description's own markers do not count.
int heldElsewhere(int fd, int marker, bool* held) {
    struct flock region = markerRegion(marker, F_WRLCK);
    if (fcntl(fd, F_OFD_GETLK, &region) != 0) return errno;
    *held = region.l_type != F_UNLCK;
    return 0;
}

// Takes this open's markers first and only then looks for the others': of
// two opens that refuse each other and come at the same moment, the one that
// looks last sees the other's markers, so both can never get in (both may be
// refused). Refused, it drops its markers at once.
int enter(int fd, short type, const Markers& markers) {
    int error = 0;
    for (int m = 0; m < kMarkers && error == 0; ++m)
        if (markers[m]) error = setMarker(fd, m, type);
    for (int m = 0; m < kMarkers && error == 0; ++m) {
        bool held = false;
        if (markers[m]) error = heldElsewhere(fd, opposite(m), &held);
        if (held) error = EAGAIN;
    }
    if (error != 0) dropMarkers(fd);
    return error;
}

// Shared locks need a descriptor open for reading. A write-only handle gets a
// second description of its file, opened for reading, to hold its markers.
std::mutex keptMutex;
std::unordered_map<int32_t, int> keptDescriptors;

}  // namespace

int joinSharing(int32_t handle, int32_t mode) {
    Markers markers = markersOf(mode);
    int fd = handle;
    short type = F_RDLCK;
    int kept = -1;
    if (!markers[kReading]) {
        // Through /proc so that it is the very file the handle has open, even
        // if its name has been replaced meanwhile.
        kept = ::open(("/proc/self/fd/" + std::to_string(handle)).c_str(), O_RDONLY | O_CLOEXEC);
        if (kept >= 0) {
            fd = kept;
        } else {
            // The user may write the file but not read it: exclusive markers
            // on the handle itself also refuse any other open that holds the
            // same marker, which is stricter than the rule but never looser.
            type = F_WRLCK;
        }
    }
    int error = enter(fd, type, markers);
    if (kept >= 0) {
        if (error != 0) {
            ::close(kept);
        } else {
            std::lock_guard lock(keptMutex);
            keptDescriptors[handle] = kept;
        }
    }
    return error;
}

void leaveSharing(int32_t handle) {
    int kept = -1;
    {
        std::lock_guard lock(keptMutex);
        auto found = keptDescriptors.find(handle);
        if (found == keptDescriptors.end()) return;
        kept = found->second;
        keptDescriptors.erase(found);
    }
    ::close(kept);
}

}  // namespace x9host::detail
