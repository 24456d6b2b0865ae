// The runtime's OS file services on POSIX. Each answers 0 or the runtime's
// error number (2 file not found, 3 path not found, 5 access denied, 32 lock
// held elsewhere or sharing refused) and consults the fault table before touching the OS.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <mutex>

#include "fault_table.h"
#include "host_control.h"
#include "share_locks.h"

namespace {

std::mutex faultMutex;
x9host::OsFaults faults;

struct ArmedFault {
    uint32_t callsLeft = 0;  // 0: disarmed; 1: the next call fails
    uint32_t bytes = 0;
};
std::array<ArmedFault, x9host::kFaultKinds> armed;
std::atomic<uint64_t> fired{0};
std::atomic<uint64_t> readCalls{0}, writeCalls{0}, seekCalls{0};

constexpr std::array<const char*, x9host::kFaultKinds> kFaultKindNames = {
    "write", "shortwrite", "read", "seek", "truncate", "lock", "alloc"};

// Offsets and sizes travel as 32-bit values: a file that has grown past
// them answers an error rather than a wrapped number.
constexpr off_t kLargestOffset = std::numeric_limits<uint32_t>::max();

bool parentExists(const char* name) {
    std::error_code ec;
    auto parent = std::filesystem::path(name).parent_path();
    return parent.empty() || std::filesystem::is_directory(parent, ec);
}

int32_t fromErrno(int error, const char* name = nullptr) {
    switch (error) {
        case 0:
            return 0;
        case ENOENT:
            return (name && !parentExists(name)) ? kOsPathNotFound : kOsFileNotFound;
        case ENOTDIR:
            return kOsPathNotFound;
        case EAGAIN:
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
            return kOsLockViolation;
        case EBADF:
            return 6;
        case EMFILE:
        case ENFILE:
            return 4;
        case ENOSPC:
            return 112;
        default:
            return kOsAccessDenied;
    }
}

int openFlags(int32_t mode) {
    switch (mode & 3) {
        case 0:
            return O_RDONLY;
        case 1:
            return O_WRONLY;
        default:
            return O_RDWR;
    }
}

// The one-byte file lock is an open-file-description lock, so two handles of
// one process exclude each other as two processes would.
int32_t setLock(int32_t handle, uint32_t offset, uint32_t length, short type) {
    struct flock region {};
    region.l_type = type;
    region.l_whence = SEEK_SET;
    region.l_start = static_cast<off_t>(offset);
    region.l_len = static_cast<off_t>(length);
    if (fcntl(handle, F_OFD_SETLK, &region) == 0) return 0;
    if (errno == EACCES) return kOsLockViolation;
    return fromErrno(errno);
}

}  // namespace

namespace x9host {

void setOsFaults(const OsFaults& table) {
    std::lock_guard lock(faultMutex);
    faults = table;
}
void clearOsFaults() {
    setOsFaults({});
}
OsFaults osFaults() {
    std::lock_guard lock(faultMutex);
    return faults;
}

const char* faultKindName(FaultKind kind) {
    return kFaultKindNames[static_cast<std::size_t>(kind)];
}

bool faultKindNamed(std::string_view name, FaultKind& kind) {
    for (std::size_t i = 0; i < kFaultKindNames.size(); ++i) {
        if (name == kFaultKindNames[i]) {
            kind = static_cast<FaultKind>(i);
            return true;
        }
    }
    return false;
}

void armFault(FaultKind kind, uint32_t nth, uint32_t bytes) {
    std::lock_guard lock(faultMutex);
    armed[static_cast<std::size_t>(kind)] = {nth, bytes};
}

void disarmFaults() {
    std::lock_guard lock(faultMutex);
    armed = {};
}

uint64_t faultsFired() {
    return fired.load();
}

OsCallCounts osCallCounts() {
    return {readCalls.load(), writeCalls.load(), seekCalls.load()};
}

void resetOsCallCounts() {
    readCalls = writeCalls = seekCalls = 0;
}

bool detail::fireArmedFault(FaultKind kind, uint32_t* bytes) {
    std::lock_guard lock(faultMutex);
    ArmedFault& fault = armed[static_cast<std::size_t>(kind)];
    if (fault.callsLeft == 0 || --fault.callsLeft != 0) return false;
    if (bytes) *bytes = fault.bytes;
    ++fired;
    return true;
}

bool detail::consumeFault(int32_t OsFaults::*counter, OsFaults* snapshot) {
    std::lock_guard lock(faultMutex);
    *snapshot = faults;
    int32_t& left = faults.*counter;
    if (left == 0) return false;
    if (left > 0) --left;
    return true;
}

}  // namespace x9host

using x9host::FaultKind;
using x9host::OsFaults;
using x9host::detail::consumeFault;
using x9host::detail::fireArmedFault;
using x9host::detail::joinSharing;
using x9host::detail::leaveSharing;

namespace {
constexpr int32_t kCreateMode = 0x42;  // read and write, deny none
}  // namespace

extern "C" {

int32_t __OsOpenFile(const char* name, int32_t* handle, int32_t mode) {
    *handle = 0;
    int fd = ::open(name, openFlags(mode) | O_CLOEXEC);
    if (fd < 0) return fromErrno(errno, name);
    if (int refused = joinSharing(fd, mode)) {
        ::close(fd);
        return fromErrno(refused);
    }
    *handle = fd;
    return 0;
}

// Creating cuts the file, so it must first get in beside the opens already in
// place as a read and write open that denies nothing.
int32_t __OsCreateFile(const char* name, int32_t* handle, int32_t) {
    *handle = 0;
    int fd = ::open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return fromErrno(errno, name);
    int error = joinSharing(fd, kCreateMode);
    if (error == 0 && ::ftruncate(fd, 0) != 0) error = errno;
    if (error != 0) {
        leaveSharing(fd);
        ::close(fd);
        return fromErrno(error);
    }
    *handle = fd;
    return 0;
}

int32_t __OsCloseFile(int32_t handle) {
    leaveSharing(handle);
    return ::close(handle) == 0 ? 0 : fromErrno(errno);
}

int32_t __OsReadFile(int32_t handle, uint32_t count, void* buffer, uint32_t* done) {
    *done = 0;
    ++readCalls;
    OsFaults table;
    if (consumeFault(&OsFaults::failingReads, &table)) return table.readError;
    if (fireArmedFault(FaultKind::read)) return kOsAccessDenied;
    auto* out = static_cast<char*>(buffer);
    while (*done < count) {
        ssize_t n = ::read(handle, out + *done, count - *done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fromErrno(errno);
        if (n == 0) break;
        *done += static_cast<uint32_t>(n);
    }
    return 0;
}

// As the host's OS does, a write of no bytes cuts the file at the current
// position: a caller that means to write nothing must not call.
int32_t __OsWriteFile(int32_t handle, uint32_t count, const void* buffer, uint32_t* done) {
    *done = 0;
    ++writeCalls;
    if (fireArmedFault(FaultKind::write)) return kOsAccessDenied;
    if (count == 0) {
        off_t at = ::lseek(handle, 0, SEEK_CUR);
        if (at < 0) return fromErrno(errno);
        return ::ftruncate(handle, at) == 0 ? 0 : fromErrno(errno);
    }
    OsFaults table;
    if (consumeFault(&OsFaults::shortWrites, &table))
        count = std::min(count, table.shortWriteBytes);
    if (uint32_t bytes = 0; fireArmedFault(FaultKind::shortWrite, &bytes))
        count = std::min(count, bytes);
    const auto* in = static_cast<const char*>(buffer);
    while (*done < count) {
        ssize_t n = ::write(handle, in + *done, count - *done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fromErrno(errno);
        *done += static_cast<uint32_t>(n);
    }
    return 0;
}

int32_t __OsSeekFile(int32_t handle, uint32_t offset, int32_t origin) {
    ++seekCalls;
    OsFaults table;
    if (consumeFault(&OsFaults::failingSeeks, &table)) return table.seekError;
    if (fireArmedFault(FaultKind::seek)) return kOsAccessDenied;
    int whence = origin == 2 ? SEEK_END : origin == 1 ? SEEK_CUR : SEEK_SET;
    off_t where =
        origin == 0 ? static_cast<off_t>(offset) : static_cast<off_t>(static_cast<int32_t>(offset));
    return ::lseek(handle, where, whence) < 0 ? fromErrno(errno) : 0;
}

int32_t __OsGetFilePos(int32_t handle, uint32_t* position) {
    off_t at = ::lseek(handle, 0, SEEK_CUR);
    if (at < 0) return fromErrno(errno);
    if (at > kLargestOffset) return kOsAccessDenied;
    *position = static_cast<uint32_t>(at);
    return 0;
}

int32_t __OsGetFileLen(int32_t handle, uint32_t* length) {
    struct stat info {};
    if (::fstat(handle, &info) != 0) return fromErrno(errno);
    if (info.st_size > kLargestOffset) return kOsAccessDenied;
    *length = static_cast<uint32_t>(info.st_size);
    return 0;
}

int32_t __OsFileTruncate(int32_t handle) {
    OsFaults table;
    if (consumeFault(&OsFaults::failingTruncates, &table)) return kOsAccessDenied;
    if (fireArmedFault(FaultKind::truncate)) return kOsAccessDenied;
    off_t at = ::lseek(handle, 0, SEEK_CUR);
    if (at < 0) return fromErrno(errno);
    return ::ftruncate(handle, at) == 0 ? 0 : fromErrno(errno);
}

int32_t __OsLockFile(int32_t handle, uint32_t offset, uint32_t length) {
    OsFaults table;
    if (consumeFault(&OsFaults::failingLocks, &table)) return table.lockError;
    if (fireArmedFault(FaultKind::lock)) return kOsLockViolation;
    return setLock(handle, offset, length, F_WRLCK);
}

int32_t __OsUnlockFile(int32_t handle, uint32_t offset, uint32_t length) {
    return setLock(handle, offset, length, F_UNLCK);
}

int32_t __OsCommitFile(int32_t handle) {
    return ::fsync(handle) == 0 ? 0 : fromErrno(errno);
}

int32_t __OsDeleteFile(const char* name) {
    return ::unlink(name) == 0 ? 0 : fromErrno(errno, name);
}

}  // extern "C"
