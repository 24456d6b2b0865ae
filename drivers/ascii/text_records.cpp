#include "text_records.h"

#include <algorithm>
#include <cstring>

#include "file_steps.h"
#include "line_scan.h"
#include "text_fcb.h"
#include "text_options.h"

namespace ascii {

namespace {

constexpr int32_t kFailed = 5;
constexpr int32_t kNoMemory = 8;
constexpr int32_t kEndOfFile = 33;
constexpr int32_t kUnsupported = 80;

uint32_t recordLength(const Drv_FCB& fcb) {
    return static_cast<uint32_t>(std::max<int32_t>(+fcb.recordLength, 0));
}

bool hasOem(const Drv_FCB& fcb) {
    return fcb.attributes & kAttrOem;
}

void* classOf(const Drv_FCB& fcb) {
    return fcb.declaration ? fcb.declaration->classDescriptor : nullptr;
}

ScanSettings settingsOf(Drv_FCB& fcb) {
    TextTail& tail = textTail(fcb);
    return {tail.endOfRecord, tail.endOfRecordLength, tail.tabSize, ctrlZIsData(fcb)};
}

int32_t windowError(const BufferedFile& file) {
    return file.osError() != 0 ? file.osError() : kFailed;
}

// A line is read through one window of L + T bytes. A small FILEBUFFERS
// value or a long terminator can leave the cache smaller than that; the
// cache then grows, since a window that does not fit would read nothing.
int32_t ensureWindow(Drv_FCB& fcb, uint64_t needed) {
    if (needed <= fcb.bufferSize) return 0;
    if (needed > UINT32_MAX / 2) return kNoMemory;
    auto size = static_cast<uint32_t>(needed);
    auto* buffer = static_cast<uint8_t*>(Hrt$calloc(size, 1));
    if (!buffer) return kNoMemory;
    BufferedFile& file = drv::fileOf(fcb);
    if (file.setBuffer((fcb.driverFlags & kFlagCaching) ? 0 : 1, buffer, size) != buffer) {
        Hrt$free(buffer);
        return windowError(file);
    }
    Hrt$free(fcb.buffer);
    fcb.buffer = buffer;
    fcb.bufferSize = size;
    return 0;
}

// File bytes the window holds from offset on, up to the end of the file.
uint32_t bytesInWindow(const BufferedFile& file, uint32_t offset, uint32_t fileSize) {
    uint64_t windowEnd = uint64_t{file.windowStart()} + file.windowFill();
    uint64_t end = std::min<uint64_t>(windowEnd, fileSize);
    return end > offset ? static_cast<uint32_t>(end - offset) : 0;
}

// The rest of an over-long line, up to and including what ends it: the
// terminator, a counting Ctrl-Z, or the end of the file.
struct LineRest {
    uint32_t bytes = 0;
    bool reachesEndOfFile = false;
};

// Looks at the rest a window at a time, so that a long line costs one OS
// read per window's worth of bytes, with or without caching. A window that
// cannot be had fails the pass: a line end guessed from half a look would
// send Next into the middle of a line.
int32_t passOver(Drv_FCB& fcb, uint32_t offset, uint32_t fileSize, LineRest& rest) {
    BufferedFile& file = drv::fileOf(fcb);
    const ScanSettings settings = settingsOf(fcb);
    const uint32_t terminatorLength = settings.terminatorLength;
    rest = {};
    for (uint32_t at = offset; at < fileSize;) {
        const uint8_t* window = file.fetch(at, std::min(terminatorLength, fileSize - at));
        if (!window) return windowError(file);
        const uint32_t held = bytesInWindow(file, at, fileSize);
        uint32_t i = 0;
        for (; i < held; ++i) {
            if (window[i] == kCtrlZ && !settings.ctrlZIsData) {
                rest.bytes += i + 1;
                return 0;
            }
            // A terminator can only lie where the file still has room for it.
            if (window[i] != settings.terminator[0] || fileSize - (at + i) < terminatorLength)
                continue;
            if (held - i < terminatorLength) break;  // it may run on past the window
            if (std::memcmp(window + i, settings.terminator, terminatorLength) == 0) {
                rest.bytes += i + terminatorLength;
                return 0;
            }
        }
        // Fewer bytes than the size promised: the file shrank elsewhere.
        if (i == 0) return 0;
        rest.bytes += i;
        at += i;
    }
    rest.reachesEndOfFile = true;
    return 0;
}

int32_t scanInto(Drv_FCB& fcb, uint32_t offset, uint32_t fileSize) {
    ScanSettings settings = settingsOf(fcb);
    if (!settings.terminator || settings.terminatorLength == 0) return kFailed;
    uint32_t length = recordLength(fcb);
    if (int32_t error = ensureWindow(fcb, uint64_t{length} + settings.terminatorLength); error)
        return error;
    BufferedFile& file = drv::fileOf(fcb);
    const uint8_t* window = file.fetch(offset, length + settings.terminatorLength);
    if (!window) return windowError(file);
    uint32_t available =
        std::min(bytesInWindow(file, offset, fileSize), length + settings.terminatorLength);
    // No bytes where the size promised some (the file shrank elsewhere): a
    // line of no bytes would keep Next on the same spot for ever.
    if (available == 0) return kEndOfFile;
    if (window[0] == kCtrlZ && !settings.ctrlZIsData) return kEndOfFile;
    LineScan scan = scanLine(window, available, fcb.recordBuffer, length, settings);
    uint32_t consumed = scan.consumed;
    if (!scan.terminatorMet && uint64_t{offset} + consumed < fileSize) {
        LineRest rest;
        if (int32_t error = passOver(fcb, offset + consumed, fileSize, rest); error != 0)
            return error;
        consumed += rest.bytes;
    }
    fcb.lastTransfer = consumed;
    return 0;
}

// The bytes a write takes from: the record, or its OEM copy.
const uint8_t* writeSource(Drv_FCB& fcb) {
    if (!hasOem(fcb)) return fcb.recordBuffer;
    TextTail& tail = textTail(fcb);
    tail.oemBuffer = drv::oemCopyOfRecord(fcb, tail.oemBuffer);
    return tail.oemBuffer;
}

// Eight blanks at a time first: records are often mostly trailing blanks.
uint32_t clippedLength(const uint8_t* bytes, uint32_t length) {
    constexpr uint64_t kEightBlanks = 0x2020202020202020;
    while (length >= sizeof(uint64_t)) {
        uint64_t word;
        std::memcpy(&word, bytes + length - sizeof word, sizeof word);
        if (word != kEightBlanks) break;
        length -= sizeof word;
    }
    while (length > 0 && bytes[length - 1] == kBlank) --length;
    return length;
}

// The driver keeps no line index, so a rewrite in place must take exactly
// the old line's bytes; only the last line, running to the end of the file,
// may grow. Anything else would leave part of the old line behind or run
// over the lines that follow.
int32_t checkRewrite(Drv_FCB& fcb, uint32_t offset, uint32_t fileSize, uint32_t newBytes) {
    LineRest old;
    if (int32_t error = passOver(fcb, offset, fileSize, old); error != 0) return error;
    bool fits = old.bytes == newBytes || (old.reachesEndOfFile && newBytes >= old.bytes);
    return fits ? 0 : kLineLengthDiffers;
}

int32_t appendOffset(Drv_FCB& fcb, uint32_t& offset) {
    uint32_t size = 0;
    if (drv::takeFileSize(fcb, size) != 0) return kFailed;
    offset = size;
    TextTail& tail = textTail(fcb);
    if (size > 0 && !tail.ctrlZChecked) {
        // The check counts as made only once its read has answered: an
        // append behind a Ctrl-Z it failed to see would be lost to readers.
        BufferedFile& file = drv::fileOf(fcb);
        uint8_t last = 0;
        if (file.seek(size - 1) != 0 || file.read(&last, 1) != 1) return kFailed;
        tail.ctrlZChecked = 1;
        if (last == kCtrlZ && !ctrlZIsData(fcb)) offset = size - 1;
    }
    return 0;
}

int32_t cutAt(Drv_FCB& fcb, uint32_t offset) {
    if (drv::fileOf(fcb).truncate(offset) != 0) return kFailed;
    fcb.fileSize = std::min(+fcb.fileSize, offset);
    return 0;
}

int32_t writeBytes(Drv_FCB& fcb, bool append, uint32_t offset, const uint8_t* source,
                   uint32_t count) {
    BufferedFile& file = drv::fileOf(fcb);
    TextTail& tail = textTail(fcb);
    if (file.seek(offset) != 0) return kFailed;
    fcb.currentPosition = offset;
    fcb.lastTransfer = 0;
    bool whole = file.write(source, count) == static_cast<int32_t>(count);
    if (whole) {
        fcb.lastTransfer = count;
        whole = file.write(tail.endOfRecord, tail.endOfRecordLength) ==
                static_cast<int32_t>(tail.endOfRecordLength);
    }
    if (!whole) {
        // Half a line must not stay behind the last whole one. The cut may
        // also have taken a trailing Ctrl-Z the line was to replace.
        if (append && file.truncate(offset) == 0) fcb.fileSize = std::min(+fcb.fileSize, offset);
        return kFailed;
    }
    fcb.lastTransfer += tail.endOfRecordLength;
    uint32_t end = offset + fcb.lastTransfer;
    // The last line may grow in place; the cached size follows it.
    fcb.fileSize = append ? end : std::max(+fcb.fileSize, end);
    fcb.driverFlags |= kFlagCurrent;
    return 0;
}

int32_t writeSteps(Drv_FCB& fcb, uint32_t position, uint32_t length) {
    bool append = position == 0;
    uint32_t offset = position - 1;
    if (append && appendOffset(fcb, offset) != 0) return kFailed;
    if (length == 0) {
        if (drv::fileOf(fcb).seek(offset) != 0) return kFailed;
        fcb.currentPosition = offset;
        return cutAt(fcb, offset);
    }
    TextTail& tail = textTail(fcb);
    if (!tail.endOfRecord || tail.endOfRecordLength == 0) return kFailed;
    const uint8_t* source = writeSource(fcb);
    if (!source) return kNoMemory;
    // Lengths above the record would write bytes from beyond it.
    uint32_t count = tail.clip == 1 ? clippedLength(source, recordLength(fcb))
                                    : std::min(length, recordLength(fcb));
    // Positions and sizes are 32-bit: a line that would end past the largest
    // of them could never be found again.
    if (!drv::fitsBelowEdge(offset, uint64_t{count} + tail.endOfRecordLength)) return kFailed;
    if (!append) {
        uint32_t size = 0;
        if (drv::takeFileSize(fcb, size) != 0) return kFailed;
        if (int32_t error = checkRewrite(fcb, offset, size, count + tail.endOfRecordLength))
            return error;
    }
    return writeBytes(fcb, append, offset, source, count);
}

}  // namespace

int32_t readLine(Drv_FCB& fcb, uint32_t position) {
    fcb.driverFlags &= static_cast<uint8_t>(~kFlagCurrent);
    if (position == 0) return 0;
    uint32_t size = 0;
    if (drv::takeFileSize(fcb, size) != 0) return kFailed;
    if (position - 1 >= size) return kEndOfFile;
    uint32_t previous = fcb.currentPosition;
    fcb.currentPosition = position - 1;
    if (int32_t error = scanInto(fcb, fcb.currentPosition, size); error != 0) {
        // The scan fills the record itself; a read that fails here leaves it blank.
        if (recordLength(fcb) > 0) std::memset(fcb.recordBuffer, kBlank, recordLength(fcb));
        if (drv::positionStands(error)) fcb.currentPosition = previous;
        return error;
    }
    if (hasOem(fcb)) Hrt$OEMTOANSIdesc(fcb.recordBuffer, classOf(fcb));
    fcb.driverFlags |= kFlagCurrent;
    return 0;
}

// The commonest Next of a text file: an ordinary line (scanPlainLine) that
// the loaded window holds with the L + T bytes of its look. It takes
// readLine's steps with what such a line needs alone; false, having changed
// nothing that readLine does not set again, for every other case. It asks
// the OS nothing: a file whose size must be asked for (shared, without
// caching) has no loaded window either, so it goes the long way at
// fromWindow.
bool readPlainLine(Drv_FCB& fcb) {
    const uint32_t position = fcb.nextPosition;
    const uint32_t length = recordLength(fcb);
    const TextTail& tail = textTail(fcb);
    const uint32_t terminatorLength = tail.endOfRecordLength;
    const uint32_t size = fcb.fileSize;
    if (position == 0 || !fcb.file || !tail.endOfRecord || terminatorLength == 0 ||
        position - 1 >= size || uint64_t{length} + terminatorLength > fcb.bufferSize)
        return false;
    const uint32_t offset = position - 1;
    const uint8_t* window = fcb.file->fromWindow(offset, length + terminatorLength);
    if (!window) return false;
    const bool ctrlZData = ctrlZIsData(fcb);
    if (window[0] == kCtrlZ && !ctrlZData) return false;
    const uint32_t available = std::min(size - offset, length + terminatorLength);
    const ScanSettings settings{tail.endOfRecord, terminatorLength, tail.tabSize, ctrlZData};
    LineScan scan;
    if (!scanPlainLine(window, available, fcb.recordBuffer, length, settings, scan)) return false;
    fcb.currentPosition = offset;
    fcb.lastTransfer = scan.consumed;
    if (hasOem(fcb)) Hrt$OEMTOANSIdesc(fcb.recordBuffer, classOf(fcb));
    fcb.driverFlags |= kFlagCurrent;
    fcb.nextPosition = offset + scan.consumed + 1;
    return true;
}

int32_t readNextLine(Drv_FCB& fcb) {
    if (readPlainLine(fcb)) return 0;
    int32_t error = readLine(fcb, fcb.nextPosition);
    if (drv::positionStands(error)) return error;
    fcb.nextPosition = fcb.currentPosition + fcb.lastTransfer + 1;
    return error;
}

int32_t atEnd(Drv_FCB& fcb) {
    if (!fcb.file) return 1;
    BufferedFile& file = *fcb.file;
    if (file.seek(fcb.nextPosition - 1) != 0) return 1;
    uint8_t next = 0;
    if (file.read(&next, 1) != 1) return 1;
    return (next == kCtrlZ && !ctrlZIsData(fcb)) ? 1 : 0;
}

int32_t writeLine(Drv_FCB& fcb, uint32_t position, uint32_t length) {
    if (fcb.driverFlags & kFlagReadOnly) return kFailed;
    bool locked = false;
    if (fcb.driverFlags & kFlagShared) {
        if (drv::lockForWrite(fcb) != 0) return kFailed;
        locked = true;
    }
    int32_t error = writeSteps(fcb, position, length);
    if (locked) drv::unlockFile(fcb);
    return error;
}

bool TextRecords::perform(drv::Operation& op) {
    Drv_FCB& fcb = *op.fcb;
    uint32_t full = recordLength(fcb);
    switch (op.code) {
        case GetAt:
        case GetAtLength:
            op.error = readLine(fcb, op.position(0));
            return true;
        case Reget:
            op.error = readLine(fcb, drv::positionArgument(op.stringA));
            return true;
        case Next:
            op.error = readNextLine(fcb);
            return true;
        case AtEnd:
            op.result = atEnd(fcb);
            return true;
        case Add:
        case Append:
            op.error = writeLine(fcb, 0, full);
            return true;
        case AddLength:
        case AppendLength:
            op.error = writeLine(fcb, 0, op.position(0));
            return true;
        case Put:
            op.error = writeLine(fcb, fcb.currentPosition + 1, full);
            return true;
        case PutAt:
            op.error = writeLine(fcb, op.position(0), full);
            return true;
        case PutAtLength:
            op.error = writeLine(fcb, op.position(0), op.position(1));
            return true;
        case Previous:
        case Records:
            op.error = kUnsupported;
            return true;
        case MoreRecordsThan:
            op.result = 0;
            return true;
        default:
            return drv::performPositionValue(op);
    }
}

int32_t TextRecords::prepareOpen(Drv_FCB& fcb) {
    releaseAtClose(fcb);
    if (int32_t error = setTextDefaults(fcb); error != 0) return error;
    if (hasOem(fcb)) {
        TextTail& tail = textTail(fcb);
        tail.oemBuffer = static_cast<uint8_t*>(Hrt$calloc(std::max(recordLength(fcb), 1u), 1));
        if (!tail.oemBuffer) return kNoMemory;
    }
    return 0;
}

void TextRecords::releaseAtClose(Drv_FCB& fcb) {
    TextTail& tail = textTail(fcb);
    Hrt$free(tail.endOfRecord);
    tail.endOfRecord = nullptr;
    tail.endOfRecordLength = 0;
    Hrt$free(tail.oemBuffer);
    tail.oemBuffer = nullptr;
}

void TextRecords::applyOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    applyTextOption(fcb, option, answer);
}

}  // namespace ascii
