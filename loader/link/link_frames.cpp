// The flash loader's frame protocol in Link: short command frames, the fixed
// acknowledgement, and information frames.
#include "link.h"
#include "link_error.h"
#include "loader_state.h"

namespace vrx {

namespace {
constexpr int kStx = 0x02;
constexpr int kEtx = 0x03;
constexpr unsigned char kAck[] = {0x02, 0x0A, 0x00, 0x00, 0x00, 0x06, 0x06, 0x17, 0x00, 0x03};
// An information frame is STX, length, code, payload, two trailer bytes, ETX.
constexpr std::int64_t kMinInfoFrame = 9;
constexpr std::int64_t kMaxInfoFrame = 32767;
}  // namespace

void Link::SendCommandFrame(int code) {
    sendByte(kStx);
    sendField("0x000A");
    sendByte(code);
    sendByte(code);
    sendByte(0x00);
    sendByte(0x00);
    sendByte(kEtx);
}

bool Link::GetAck() {
    LogStatus("get ACK .. ");
    for (unsigned char expected : kAck) {
        const QString c = ReadChar();
        if (c.at(0).unicode() != expected) return false;
    }
    LogStatus("done!/n");
    return true;
}

bool Link::ReadInfoFrame(QString& payload) {
    if (!ExpectChar(QString(QChar(kStx)))) return false;
    std::int64_t length = 0;
    for (int k = 0; k < 4; ++k) {
        length |= static_cast<std::int64_t>(ReadChar().at(0).unicode()) << (8 * k);
    }
    // A length outside these bounds is no frame this loader can hold; reading
    // on would wait for (or swallow) bytes that are not part of it.
    if (length < kMinInfoFrame || length > kMaxInfoFrame) {
        throw LinkError("invalid information frame length " + std::to_string(length));
    }
    QString rest;
    for (std::int64_t k = 0; k < length - 5; ++k) rest += ReadChar();
    payload = rest.mid(1, length - 9);
    return true;
}

}  // namespace vrx
