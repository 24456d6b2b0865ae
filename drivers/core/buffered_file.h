// BufferedFile: one OS file handle from the host's __Os services plus an
// optional cache window, through which the record layers read and write.
#pragma once

#include <cstdint>

class BufferedFile {
  public:
    BufferedFile() = default;
    ~BufferedFile();  // closes the handle and frees an owned buffer
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    int32_t open(const char* name, int32_t mode);
    int32_t create(const char* name);
    void close();

    // caching: 0 switches caching on, 1 off, anything else leaves it. With
    // data the buffer is adopted (not owned); without, one is allocated.
    // Returns the buffer in use.
    uint8_t* setBuffer(int32_t caching, uint8_t* data, uint32_t size);

    int32_t seek(uint32_t offset);
    // Makes [offset, offset + count) readable in the window; null on failure.
    // Inline while the window already holds the bytes, as it does for all
    // but one record in a window's worth of a sequential scan.
    const uint8_t* fetch(uint32_t offset, uint32_t count) {
        const uint8_t* held = fromWindow(offset, count);
        return held ? held : load(offset, count);
    }
    // Whether the loaded window holds the whole of [offset, offset + count).
    bool windowHolds(uint32_t offset, uint32_t count) const {
        if ((flags_ & (kCaching | kUnloaded)) != kCaching || offset < windowStart_) return false;
        uint32_t at = offset - windowStart_;
        return at <= windowFill_ && count <= windowFill_ - at;
    }
    // fetch without the load: null, with nothing changed, when the loaded
    // window does not hold the whole range.
    const uint8_t* fromWindow(uint32_t offset, uint32_t count) {
        if ((flags_ & (kCaching | kUnloaded)) != kCaching || offset < windowStart_) return nullptr;
        uint32_t at = offset - windowStart_;
        if (at > windowFill_ || count > windowFill_ - at) return nullptr;
        windowCursor_ = at;
        return data_ + at;
    }
    // The count bytes at offset that windowHolds vouched for, with the
    // position moved behind them, as a seek there and a read would leave it.
    // Never null, so that a caller that has asked windowHolds tests nothing
    // more.
    const uint8_t* takeHeld(uint32_t offset, uint32_t count) {
        const uint8_t* held = data_ + (offset - windowStart_);
        windowCursor_ = offset - windowStart_ + count;
        return held;
    }
    int32_t read(void* destination, uint32_t count);    // count read or -1
    int32_t write(const void* source, uint32_t count);  // count or -1
    int32_t flush();
    int32_t truncate(uint32_t offset);
    int64_t length();  // -1 when the OS cannot tell
    int32_t commit();
    int32_t lock(uint32_t offset, uint32_t length);
    int32_t unlock(uint32_t offset, uint32_t length);

    int32_t handle() const { return handle_; }
    int32_t osError() const { return osError_; }
    bool caching() const { return flags_ & kCaching; }
    bool dirty() const { return flags_ & kDirty; }
    bool unloaded() const { return flags_ & kUnloaded; }
    uint32_t capacity() const { return capacity_; }
    uint32_t windowStart() const { return windowStart_; }
    uint32_t windowFill() const { return windowFill_; }
    uint32_t windowCursor() const { return windowCursor_; }
    const uint8_t* data() const { return data_; }

  private:
    static constexpr uint8_t kDirty = 0x1;
    static constexpr uint8_t kCaching = 0x2;
    static constexpr uint8_t kOwned = 0x4;
    static constexpr uint8_t kUnloaded = 0x8;

    const uint8_t* load(uint32_t offset, uint32_t count);  // fetch from the file
    void adopt(uint8_t* data, uint32_t size, bool owned);
    void releaseBuffer();
    int32_t writeThrough(const void* source, uint32_t count);
    int32_t osSeek(uint32_t offset);
    int32_t osRead(void* destination, uint32_t count, uint32_t& done);
    int32_t osWrite(const void* source, uint32_t count, uint32_t& done);

    int32_t handle_ = 0;   // 0 while closed
    int32_t osError_ = 0;  // answer of the last OS call made here
    int32_t mode_ = 0;     // mode given at open
    // The window: file bytes [windowStart_, windowStart_ + windowFill_) are
    // in data_. windowCursor_ <= windowFill_ <= capacity_; while caching,
    // the logical file position is windowStart_ + windowCursor_. When
    // loaded (kUnloaded clear) the bytes came from the file, possibly changed
    // since (kDirty); when unloaded they are only what was written since the
    // last seek outside. A short load leaves byte 26 right after the data.
    uint32_t windowStart_ = 0;
    uint32_t windowFill_ = 0;
    uint32_t windowCursor_ = 0;
    uint32_t capacity_ = 0;
    uint8_t* data_ = nullptr;
    uint8_t flags_ = 0;
};
