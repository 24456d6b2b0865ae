#include "binary_records.h"

#include <cstring>

#include "file_steps.h"
#include "options_trace.h"

namespace dos {

namespace {

constexpr int32_t kWriteFailed = 5;
constexpr int32_t kNoMemory = 8;
constexpr int32_t kEndOfFile = 33;

uint32_t recordLength(const Drv_FCB& fcb) {
    return fcb.recordLength < 0 ? 0 : static_cast<uint32_t>(fcb.recordLength);
}

bool hasOem(const Drv_FCB& fcb) {
    return fcb.attributes & kAttrOem;
}

void* classOf(const Drv_FCB& fcb) {
    return fcb.declaration ? fcb.declaration->classDescriptor : nullptr;
}

// Lengths above the record would read or write past the record buffer.
uint32_t clampLength(const Drv_FCB& fcb, uint32_t length) {
    return (length == 0 || length > recordLength(fcb)) ? recordLength(fcb) : length;
}

// The bytes a write takes from: the record, or its OEM copy.
const uint8_t* writeSource(Drv_FCB& fcb) {
    if (!hasOem(fcb)) return fcb.recordBuffer;
    fcb.oemBuffer = drv::oemCopyOfRecord(fcb, fcb.oemBuffer);
    return fcb.oemBuffer;
}

int32_t writeAt(Drv_FCB& fcb, uint32_t position, uint32_t length) {
    uint32_t at = 0;
    if (position == 0) {
        if (drv::takeFileSize(fcb, at) != 0) return kWriteFailed;
    } else {
        at = position - 1;
    }
    length = std::min(length, recordLength(fcb));
    // Positions and sizes are 32-bit: a record that would end past the
    // largest of them could never be found again.
    if (!drv::fitsBelowEdge(at, length)) return kWriteFailed;
    const uint8_t* source = fcb.recordBuffer;
    if (length > 0 && !(source = writeSource(fcb))) return kNoMemory;
    // A write must land where it was asked to, or nowhere.
    BufferedFile& file = drv::fileOf(fcb);
    if (file.seek(at) != 0) return kWriteFailed;
    fcb.currentPosition = at;
    if (length == 0) {
        if (file.truncate(at) != 0) return kWriteFailed;
        if (fcb.fileSize > at) fcb.fileSize = at;
        return 0;
    }
    fcb.lastTransfer = 0;
    if (file.write(source, length) != static_cast<int32_t>(length)) {
        // A part of an append must not stay behind the last whole record,
        // where a shared file's next size query would count it.
        if (position == 0) file.truncate(at);
        return kWriteFailed;
    }
    fcb.lastTransfer = length;
    if (position == 0) fcb.fileSize += length;
    fcb.driverFlags |= kFlagCurrent;
    return 0;
}

}  // namespace

int32_t readRecord(Drv_FCB& fcb, uint32_t position, uint32_t length) {
    fcb.driverFlags &= static_cast<uint8_t>(~kFlagCurrent);
    if (position == 0) return 0;
    // Records of no bytes: the file holds none (as the record count says).
    if (recordLength(fcb) == 0) return kEndOfFile;
    length = clampLength(fcb, length);
    uint32_t size = 0;
    if (drv::takeFileSize(fcb, size) != 0) return kWriteFailed;
    if (position - 1 >= size) return kEndOfFile;
    uint32_t previous = fcb.currentPosition;
    fcb.currentPosition = position - 1;
    if (fcb.blankRecord) std::memcpy(fcb.recordBuffer, fcb.blankRecord, recordLength(fcb));
    BufferedFile& file = drv::fileOf(fcb);
    if (int32_t error = file.seek(fcb.currentPosition); error != 0) {
        fcb.currentPosition = previous;
        return error;
    }
    int32_t got = file.read(fcb.recordBuffer, length);
    // A failed OS read, or none at all where the size promised bytes, is no
    // transfer: Next must not step by a count that never came in.
    if (got <= 0) {
        fcb.currentPosition = previous;
        return got < 0 ? kWriteFailed : kEndOfFile;
    }
    fcb.lastTransfer = static_cast<uint32_t>(got);
    if (hasOem(fcb)) Hrt$OEMTOANSIdesc(fcb.recordBuffer, classOf(fcb));
    fcb.driverFlags |= kFlagCurrent;
    return 0;
}

// Next when the short path below does not apply: readRecord's steps.
[[gnu::noinline]] int32_t readNextRecord(Drv_FCB& fcb) {
    int32_t error = readRecord(fcb, fcb.nextPosition, recordLength(fcb));
    if (drv::positionStands(error)) return error;
    fcb.nextPosition = fcb.currentPosition + fcb.lastTransfer + 1;
    return error;
}

int32_t readNext(Drv_FCB& fcb) {
    // A whole record that the loaded window holds, in a file without OEM
    // conversion: the outcome of readRecord's steps, whose blank record the
    // copy would cover byte for byte. It asks the OS nothing: a file whose
    // size must be asked for (shared, without caching) has no loaded window
    // either, so it goes the long way at windowHolds. The copy comes last,
    // so that nothing is kept across it.
    const uint32_t position = fcb.nextPosition;
    if (position == 0 || fcb.recordLength <= 0 || !fcb.file || position - 1 >= fcb.fileSize ||
        hasOem(fcb))
        return readNextRecord(fcb);
    const auto length = static_cast<uint32_t>(fcb.recordLength);
    BufferedFile& file = *fcb.file;
    if (!file.windowHolds(position - 1, length)) return readNextRecord(fcb);
    const uint8_t* held = file.takeHeld(position - 1, length);
    fcb.currentPosition = position - 1;
    fcb.lastTransfer = length;
    fcb.nextPosition = position + length;
    fcb.driverFlags |= kFlagCurrent;
    std::memcpy(fcb.recordBuffer, held, length);
    return 0;
}

int32_t readPrevious(Drv_FCB& fcb) {
    if (fcb.lastOperation == SetFirst) {
        uint32_t size = 0;
        drv::takeFileSize(fcb, size);
        fcb.nextPosition = size - (recordLength(fcb) - 1);
    } else if (fcb.lastOperation == Next || fcb.lastOperation == Previous) {
        fcb.nextPosition = fcb.currentPosition - recordLength(fcb) + 1;
    }
    return readRecord(fcb, fcb.nextPosition, recordLength(fcb));
}

int32_t writeRecord(Drv_FCB& fcb, uint32_t position, uint32_t length) {
    if (fcb.driverFlags & kFlagReadOnly) return kWriteFailed;
    bool locked = false;
    if (fcb.driverFlags & kFlagShared) {
        if (drv::lockForWrite(fcb) != 0) return kWriteFailed;
        locked = true;
    }
    int32_t error = writeAt(fcb, position, length);
    if (locked) drv::unlockFile(fcb);
    return error;
}

int32_t atEnd(Drv_FCB& fcb) {
    if (!fcb.file) return 1;
    BufferedFile& file = *fcb.file;
    if (file.seek(fcb.nextPosition - 1) != 0) return 1;
    uint8_t scratch = 0;
    return file.read(&scratch, 1) == 1 ? 0 : 1;
}

// A record length of 0 holds no whole records.
int32_t countRecords(Drv_FCB& fcb, uint32_t& count) {
    uint32_t size = 0;
    if (drv::takeFileSize(fcb, size) != 0) return kWriteFailed;
    count = recordLength(fcb) ? size / recordLength(fcb) : 0;
    return 0;
}

bool BinaryRecords::perform(drv::Operation& op) {
    Drv_FCB& fcb = *op.fcb;
    uint32_t full = recordLength(fcb);
    switch (op.code) {
        case GetAt:
            op.error = readRecord(fcb, op.position(0), full);
            return true;
        case GetAtLength:
            op.error = readRecord(fcb, op.position(0), op.position(1));
            return true;
        case Reget:
            op.error = readRecord(fcb, drv::positionArgument(op.stringA), full);
            return true;
        case Next:
            op.error = readNext(fcb);
            return true;
        case Previous:
            op.error = readPrevious(fcb);
            return true;
        case Add:
        case Append:
            op.error = writeRecord(fcb, 0, full);
            return true;
        case AddLength:
        case AppendLength:
            op.error = writeRecord(fcb, 0, op.position(0));
            return true;
        case Put:
            op.error = writeRecord(fcb, fcb.currentPosition + 1, full);
            return true;
        case PutAt:
            // Position 0 appends: a full-length write.
            op.error = writeRecord(fcb, op.position(0), full);
            return true;
        case PutAtLength:
            op.error = writeRecord(fcb, op.position(0), op.position(1));
            return true;
        case AtEnd:
            op.result = atEnd(fcb);
            return true;
        case Records: {
            uint32_t count = 0;
            op.error = countRecords(fcb, count);
            op.result = static_cast<int32_t>(count);
            return true;
        }
        case MoreRecordsThan: {
            uint32_t count = 0;
            if (countRecords(fcb, count) != 0) count = 0;
            op.result = count > op.position(0) ? 1 : 0;
            return true;
        }
        default:
            return drv::performPositionValue(op);
    }
}

int32_t BinaryRecords::prepareOpen(Drv_FCB& fcb) {
    std::size_t size = recordLength(fcb);
    Hrt$free(fcb.oemBuffer);
    fcb.oemBuffer = nullptr;
    if (hasOem(fcb)) fcb.oemBuffer = static_cast<uint8_t*>(Hrt$calloc(size ? size : 1, 1));
    Hrt$free(fcb.blankRecord);
    fcb.blankRecord = static_cast<uint8_t*>(Hrt$calloc(size ? size : 1, 1));
    if (!fcb.blankRecord || (hasOem(fcb) && !fcb.oemBuffer)) return kNoMemory;
    Hrt$CLEAR(fcb.blankRecord, classOf(fcb), 0);
    return 0;
}

void BinaryRecords::releaseAtClose(Drv_FCB& fcb) {
    Hrt$free(fcb.oemBuffer);
    fcb.oemBuffer = nullptr;
    Hrt$free(fcb.blankRecord);
    fcb.blankRecord = nullptr;
}

void BinaryRecords::applyOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    drv::applyCoreOption(fcb, option, answer);
}

}  // namespace dos
