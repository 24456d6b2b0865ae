// The flash loader fl_burn: "F" -> "F", "S", then frames (STX, 32-bit length,
// code, payload, trailer, ETX). Every frame is checked byte for byte, and the
// header, data, end-of-data and complete frames program the simulated NAND.
#include "board.h"
#include "wire_bytes.h"

namespace vrx::sim {

namespace {
constexpr quint32 kNandSize = 0x10000000;  // 256 MiB
constexpr int kFrameOverhead = 9;          // STX, length, code, trailer, ETX
constexpr int kLengthKnownAt = 6;          // STX, length and code received
constexpr quint64 kMaxFrame = quint64(kNandSize) + kFrameOverhead;
constexpr int kHeaderPayload = 15;
constexpr quint8 kInfoCode = 0xA6;
const QByteArray kZeroTrailer(2, '\0');
const QByteArray kAckTrailer("\x17\x00", 2);

QString codeText(quint8 code) {
    return hexValue(code, 2);
}
}  // namespace

void Board::feedFlashWake(quint8 byte) {
    const char wanted = sPending_ ? 'S' : 'F';
    if (byte != quint8(wanted)) {
        violate(
            QString("flash loader: expected '%1', received %2").arg(wanted).arg(byteText(byte)));
        return;
    }
    if (!sPending_) {
        note("flash loader: 'F' received");
        if (answer(Step::FlashWake, "F")) sPending_ = true;
        return;
    }
    note("flash loader: 'S' received, frames from now on");
    pending_.clear();
    frameLength_ = 0;
    enter(State::FlashFrames);
}

void Board::feedFlashFrame(quint8 byte) {
    if (pending_.isEmpty() && byte != kStx) {
        violate("flash loader: expected STX, received " + byteText(byte));
        return;
    }
    pending_.append(char(byte));
    if (frameLength_ == 0) {
        if (pending_.size() == kLengthKnownAt) frameLengthKnown();
        return;
    }
    if (quint32(pending_.size()) == frameLength_) handleFrame();
}

// Frames of a known kind are taken at their proper length even when the length
// field is wrong, so one bad field does not throw the parser out of step.
void Board::frameLengthKnown() {
    const quint32 length = le32(pending_, 1);
    const quint8 code = quint8(pending_[5]);
    std::optional<quint64> expected;
    switch (code) {
        case kVersionRequest:
        case kNandComplete:
            expected = 10;
            break;
        case kNandHeader:
            expected = 24;
            break;
        case kEndOfData:
            expected = 12;
            break;
        case kNandData:
            if (runHeader_) expected = quint64(nand_.size) + kFrameOverhead;
            break;
        default:
            violate("flash loader: unknown frame code " + codeText(code));
    }
    if (expected && *expected != length) {
        violate(QString("flash loader: frame %1 announces length %2, expected %3")
                    .arg(codeText(code))
                    .arg(length)
                    .arg(*expected));
    }
    const quint64 taken = expected.value_or(length);
    if (taken < kFrameOverhead || taken > kMaxFrame) {
        violate(QString("flash loader: frame length %1 is impossible, frame dropped").arg(taken));
        pending_.clear();
        return;
    }
    frameLength_ = quint32(taken);
}

void Board::handleFrame() {
    const QByteArray frame = std::exchange(pending_, {});
    frameLength_ = 0;
    const int size = frame.size();
    const quint8 code = quint8(frame[5]);
    const QByteArray payload = frame.mid(6, size - kFrameOverhead);
    if (frame.mid(size - 3, 2) != kZeroTrailer) {
        violate(QString("flash loader: frame %1 has trailer %2, expected 00 00")
                    .arg(codeText(code), bytesText(frame.mid(size - 3, 2))));
    }
    if (quint8(frame[size - 1]) != kEtx) {
        violate(QString("flash loader: frame %1 ends with %2, expected ETX")
                    .arg(codeText(code), byteText(quint8(frame[size - 1]))));
    }
    auto expectPayload = [&](const QByteArray& wanted) {
        if (payload != wanted) {
            violate(QString("flash loader: frame %1 carries %2, expected %3")
                        .arg(codeText(code), bytesText(payload), bytesText(wanted)));
        }
    };
    switch (code) {
        case kVersionRequest:
            note("flash loader: VERSION REQUEST");
            expectPayload(QByteArray(1, char(kVersionRequest)));
            sendInfoFrame();
            break;
        case kNandHeader:
            handleHeader(payload);
            break;
        case kNandData:
            handleData(payload);
            break;
        case kEndOfData:
            note("flash loader: END-OF-DATA");
            expectPayload(QByteArray::fromHex("A30000"));
            if (!runData_) violate("flash loader: END-OF-DATA before the data frame");
            runEnd_ = true;
            nand_.endOfData = true;
            answer(Step::EndAck, kAck);
            break;
        case kNandComplete:
            note("flash loader: NAND FLASH COMPLETE");
            expectPayload(QByteArray(1, char(kNandComplete)));
            if (!runEnd_) violate("flash loader: NAND FLASH COMPLETE before END-OF-DATA");
            nand_.complete = true;
            answer(Step::CompleteAck, kAck);
            break;
        default:
            break;  // reported when its length arrived
    }
}

void Board::handleHeader(const QByteArray& payload) {
    note("flash loader: NAND FLASH HEADER " + bytesText(payload));
    if (payload.size() != kHeaderPayload) {
        violate(QString("flash loader: header payload of %1 bytes, expected %2")
                    .arg(payload.size())
                    .arg(kHeaderPayload));
        answer(Step::HeaderAck, kAck);
        return;
    }
    nand_ = NandRecord{};
    nand_.headerSeen = true;
    runHeader_ = true;
    runData_ = runEnd_ = false;
    nand_.address = le32(payload, 0);
    nand_.size = le32(payload, 4);
    const quint32 number = le32(payload, 8);
    const quint8 eraseFlag = quint8(payload[14]);
    nand_.erase = eraseFlag == 0x01;
    if (number != 3) violate(QString("flash loader: header number %1, expected 3").arg(number));
    if (payload[12] != 0x01 || payload[13] != 0x00) {
        violate("flash loader: header bytes " + bytesText(payload.mid(12, 2)) + ", expected 01 00");
    }
    if (eraseFlag > 0x01) violate("flash loader: erase flag " + byteText(eraseFlag));
    if (quint64(nand_.address) + nand_.size > kNandSize) {
        violate(QString("flash loader: %1 bytes at %2 do not fit the 256 MiB NAND")
                    .arg(nand_.size)
                    .arg(hexValue(nand_.address)));
    }
    note(QString("flash loader: image of %1 bytes for flash address %2%3")
             .arg(nand_.size)
             .arg(hexValue(nand_.address))
             .arg(nand_.erase ? ", full erase" : ""));
    if (!nand_.erase) {
        answer(Step::HeaderAck, kAck);
        return;
    }
    nand_.erased = true;
    if (eraseDelayMs_ <= 0) {
        note("flash loader: flash erased");
        answer(Step::HeaderAck, kAck);
        return;
    }
    note(QString("flash loader: erasing the flash, %1 ms").arg(eraseDelayMs_));
    eraseTimer_.start(eraseDelayMs_);
}

void Board::handleData(const QByteArray& payload) {
    note(QString("flash loader: NAND FLASH DATA, %1 bytes").arg(payload.size()));
    if (!runHeader_) violate("flash loader: data frame before the header");
    runData_ = true;
    nand_.data = payload;
    nand_.dataReceived = true;
    answer(Step::DataAck, kAck);
}

void Board::sendInfoFrame() {
    QByteArray frame;
    frame.append(char(kStx));
    frame.append(le32Bytes(quint32(versionText_.size() + kFrameOverhead)));
    frame.append(char(kInfoCode));
    frame.append(versionText_);
    frame.append(kAckTrailer);
    frame.append(char(kEtx));
    switch (infoFault_) {
        case InfoFrameFault::None:
            answer(Step::VersionInfo, frame);
            return;
        case InfoFrameFault::NoStx:
            frame[0] = char(0x15);
            break;
        case InfoFrameFault::LengthTooLarge:
            // An absurd length, and only the first bytes of a frame: the reader
            // must refuse it on the length alone.
            frame = frame.left(1) + le32Bytes(40000) + frame.mid(5, 4);
            break;
        case InfoFrameFault::LengthTooSmall:
            frame = frame.left(1) + le32Bytes(5) + frame.mid(5, 4);
            break;
    }
    note("fault: malformed information frame " + bytesText(frame));
    send(frame);
    enter(State::Halted);
}

}  // namespace vrx::sim
