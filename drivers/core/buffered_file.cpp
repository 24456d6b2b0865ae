#include "buffered_file.h"

#include <algorithm>
#include <cstring>

#include "x9runx.h"

namespace {
constexpr uint8_t kCtrlZ = 26;
constexpr int32_t kInvalidHandle = 6;  // no OS call reaches a handle that is not open
}  // namespace

BufferedFile::~BufferedFile() {
    close();
    releaseBuffer();
}

int32_t BufferedFile::open(const char* name, int32_t mode) {
    mode_ = mode;
    osError_ = __OsOpenFile(name, &handle_, mode);
    if (osError_ != 0) handle_ = 0;
    return osError_;
}

int32_t BufferedFile::create(const char* name) {
    osError_ = __OsCreateFile(name, &handle_, 0);
    if (osError_ == 0) {
        __OsCloseFile(handle_);
        handle_ = 0;
    }
    return osError_;
}

void BufferedFile::close() {
    if (handle_ == 0) return;
    osError_ = __OsCloseFile(handle_);
    handle_ = 0;
}

void BufferedFile::releaseBuffer() {
    if (flags_ & kOwned) Hrt$free(data_);
    data_ = nullptr;
    flags_ &= static_cast<uint8_t>(~kOwned);
}

void BufferedFile::adopt(uint8_t* data, uint32_t size, bool owned) {
    capacity_ = size;
    data_ = data;
    flags_ = owned ? (flags_ | kOwned) : (flags_ & ~kOwned);
}

// A window that cannot be written out is never cut or dropped: caching stays
// on and the buffer stays as it was, with osError() telling why, so that a
// later flush (at the latest the one of close) still writes it or reports.
uint8_t* BufferedFile::setBuffer(int32_t caching, uint8_t* data, uint32_t size) {
    osError_ = 0;
    bool wasCaching = flags_ & kCaching;
    if (caching == 1 && wasCaching) {
        // Window changes would otherwise be written later over direct writes.
        if (flush() != 0) return data_;
        flags_ &= static_cast<uint8_t>(~kCaching);
    } else if (caching == 0 && !wasCaching) {
        flags_ |= kCaching | kUnloaded;
        windowFill_ = windowCursor_ = 0;
    }
    bool owned = false;
    if (!data) {
        if (size == 0) {
            if (flush() != 0) return data_;
            flags_ &= static_cast<uint8_t>(~kCaching);
            releaseBuffer();
            capacity_ = 0;
            windowFill_ = windowCursor_ = 0;
            return nullptr;
        }
        if (size == capacity_) return data_;
        if (size < capacity_ && flush() != 0) return data_;
        data = static_cast<uint8_t*>(Hrt$calloc(size, 1));
        if (!data) {
            osError_ = 8;  // not enough memory: the old buffer stays
            return data_;
        }
        owned = true;
    } else if (size == 0) {
        return data_;
    }
    if (size < capacity_ && flush() != 0) {
        if (owned) Hrt$free(data);
        return data_;
    }
    if (data_ && data != data_) {
        std::memcpy(data, data_, std::min(size, capacity_));
        releaseBuffer();
    }
    if (data != data_ || owned) adopt(data, size, owned);
    capacity_ = size;
    windowFill_ = std::min(windowFill_, capacity_);
    windowCursor_ = std::min(windowCursor_, windowFill_);
    return data_;
}

int32_t BufferedFile::osSeek(uint32_t offset) {
    return osError_ = handle_ ? __OsSeekFile(handle_, offset, 0) : kInvalidHandle;
}

int32_t BufferedFile::osRead(void* destination, uint32_t count, uint32_t& done) {
    done = 0;
    return osError_ = handle_ ? __OsReadFile(handle_, count, destination, &done) : kInvalidHandle;
}

int32_t BufferedFile::osWrite(const void* source, uint32_t count, uint32_t& done) {
    done = 0;
    return osError_ = handle_ ? __OsWriteFile(handle_, count, source, &done) : kInvalidHandle;
}

int32_t BufferedFile::seek(uint32_t offset) {
    if (!caching()) return osSeek(offset);
    if (windowStart_ <= offset && offset - windowStart_ <= windowFill_) {
        windowCursor_ = offset - windowStart_;
        return 0;
    }
    int32_t error = flush();
    if (error != 0) return error;
    windowStart_ = offset;
    windowCursor_ = 0;
    flags_ |= kUnloaded;
    return 0;
}

// Without caching, direct writes bypass the buffer, so fetch always loads it
// afresh.
const uint8_t* BufferedFile::load(uint32_t offset, uint32_t count) {
    if (flush() != 0) return nullptr;
    if (!data_ || count > capacity_) return nullptr;
    if (osSeek(offset) != 0) return nullptr;
    uint32_t got = 0;
    osRead(data_, capacity_, got);
    windowFill_ = osError_ == 0 ? got : 0;
    if (osError_ != 0) return nullptr;
    flags_ &= static_cast<uint8_t>(~kUnloaded);
    windowStart_ = offset;
    windowCursor_ = 0;
    if (windowFill_ < capacity_) data_[windowFill_] = kCtrlZ;
    return data_;
}

int32_t BufferedFile::read(void* destination, uint32_t count) {
    if (!caching()) {
        uint32_t got = 0;
        return osRead(destination, count, got) == 0 ? static_cast<int32_t>(got) : -1;
    }
    const uint8_t* at = fetch(windowStart_ + windowCursor_, count);
    if (!at) return -1;
    uint32_t n = std::min(count, windowFill_ - windowCursor_);
    std::memcpy(destination, at, n);
    windowCursor_ += n;
    return static_cast<int32_t>(n);
}

int32_t BufferedFile::write(const void* source, uint32_t count) {
    // The OS takes a write of no bytes as a truncation mark.
    if (count == 0) return 0;
    if (!caching()) {
        uint32_t done = 0;
        return osWrite(source, count, done) == 0 ? static_cast<int32_t>(done) : -1;
    }
    if (count > capacity_ || !data_) return writeThrough(source, count);
    if (windowCursor_ > capacity_ - count) {
        if (flush() != 0) return -1;
        windowStart_ += windowCursor_;
        windowCursor_ = 0;
    }
    std::memcpy(data_ + windowCursor_, source, count);
    flags_ |= kDirty;
    windowCursor_ += count;
    windowFill_ = std::max(windowFill_, windowCursor_);
    return static_cast<int32_t>(count);
}

// A write larger than the window goes straight to the file, behind whatever
// the window holds.
int32_t BufferedFile::writeThrough(const void* source, uint32_t count) {
    if (flush() != 0) return -1;
    uint32_t at = windowStart_ + windowCursor_;
    if (osSeek(at) != 0) return -1;
    uint32_t done = 0;
    osWrite(source, count, done);
    windowStart_ = at + done;
    windowCursor_ = windowFill_ = 0;
    flags_ |= kUnloaded;
    if (osError_ != 0) return -1;
    return static_cast<int32_t>(done);
}

int32_t BufferedFile::flush() {
    if ((flags_ & kDirty) && windowFill_ > 0) {
        if (osSeek(windowStart_) != 0) return osError_;
        uint32_t done = 0;
        osWrite(data_, windowFill_, done);
        if (osError_ == 0 && done != windowFill_) osError_ = kOsAccessDenied;
        if (osError_ != 0) return osError_;
    }
    flags_ &= static_cast<uint8_t>(~kDirty);
    // The window empties, keeping the logical position where it was.
    windowStart_ += windowCursor_;
    windowCursor_ = 0;
    windowFill_ = 0;
    return 0;
}

// Window changes before the cut are written out first; those behind it go
// with the cut.
int32_t BufferedFile::truncate(uint32_t offset) {
    if (caching()) {
        int32_t error = flush();
        if (error != 0) return error;
    }
    if (osSeek(offset) != 0) return osError_;
    uint32_t done = 0;
    if (osWrite(nullptr, 0, done) != 0) return osError_;
    windowFill_ = done;
    osError_ = __OsFileTruncate(handle_);
    if (osError_ != 0) return osError_;
    windowStart_ = 0;
    windowCursor_ = 0;
    if (caching()) {
        flags_ |= kUnloaded;
        flags_ &= static_cast<uint8_t>(~kDirty);
    }
    return 0;
}

int64_t BufferedFile::length() {
    if (handle_ == 0) return 0;
    uint32_t position = 0;
    uint32_t size = 0;
    osError_ = __OsGetFilePos(handle_, &position);
    if (osError_ == 0) osError_ = __OsGetFileLen(handle_, &size);
    if (osError_ == 0) osError_ = __OsSeekFile(handle_, position, 0);
    return osError_ == 0 ? int64_t{size} : -1;
}

int32_t BufferedFile::commit() {
    return osError_ = handle_ ? __OsCommitFile(handle_) : kInvalidHandle;
}

int32_t BufferedFile::lock(uint32_t offset, uint32_t length) {
    return osError_ = handle_ ? __OsLockFile(handle_, offset, length) : kInvalidHandle;
}

int32_t BufferedFile::unlock(uint32_t offset, uint32_t length) {
    return osError_ = handle_ ? __OsUnlockFile(handle_, offset, length) : kInvalidHandle;
}
