// ReadInfoFrame and GetAck against arbitrary received bytes. The line serves
// the fuzz input and then vanishes, so every wait ends: a frame read either
// returns (payload shorter than the frame), refuses with LinkError or
// SerialError, and never reads bytes that were not received.
#include <QCoreApplication>
#include <cstdlib>

#include "fuzz_bytes.h"
#include "link.h"
#include "link_error.h"
#include "loader_state.h"
#include "memory_line.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// A port that has received exactly the given bytes and closes once they are
// read, as a board that says its piece and goes away.
class ReceivedBytesLine : public vrx::SerialLine {
  public:
    explicit ReceivedBytesLine(QByteArray bytes) : bytes_(std::move(bytes)) {}
    void open(const QString&, const QString&) override { open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_ && at_ < bytes_.size(); }
    void discardInput() override {}
    void write(const QByteArray&) override {}
    qint64 writeRoom() override { return 1 << 20; }
    qint64 bytesWaiting() override { return bytes_.size() - at_; }
    QByteArray read(qint64 maxBytes) override {
        const qint64 n = maxBytes <= 0 ? bytesWaiting() : std::min(maxBytes, bytesWaiting());
        QByteArray out = bytes_.mid(at_, n);
        at_ += n;
        return out;
    }
    void setFlowControl(vrx::FlowControl) override {}
    void setDtr(bool) override {}
    qint64 consumed() const { return at_; }

  private:
    QByteArray bytes_;
    qint64 at_ = 0;
    bool open_ = false;
};

class SilentFront : public vrx::LoaderFront {
  public:
    bool slotTicked(int) const override { return false; }
    QString slotPath(int) const override { return {}; }
    QString slotAddress(int) const override { return {}; }
    QString slotSize(int) const override { return {}; }
    bool fullErase() const override { return false; }
    int selectedPort() const override { return 1; }
    QString deviceForPort(int) const override { return "/dev/null"; }
    void writeLog(const QString& text, int replaceLast) override {
        log.chop(std::min<qsizetype>(replaceLast, log.size()));
        log += text;
    }
    int logLength() const override { return static_cast<int>(log.size()); }
    void focusLog() override {}
    void setControlEnabled(vrx::Control, bool) override {}
    void setTerminalCaption(const QString&) override {}
    void setPortState(const QString&) override {}
    void setStatusPanel(const QString&) override {}
    void setProgress(float) override {}
    vrx::Dialogs& dialogs() override { return boxes; }
    bool checkAddresses() override { return true; }
    void runBootIdWait(const std::function<void()>& waitLoop) override { waitLoop(); }

    QString log;
    vrx::ScriptedDialogs boxes;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    new QCoreApplication(*argc, *argv);  // lives for the whole process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    x9fuzz::ByteReader in(data, size);
    const bool ack = in.flag();
    const std::string rest = in.rest();
    const QByteArray bytes(rest.data(), static_cast<qsizetype>(rest.size()));
    vrx::resetLoaderState();
    ReceivedBytesLine line(bytes);
    SilentFront front;
    vrx::Link link(line, front);
    link.OpenPort();
    if (ack) {
        try {
            const bool ok = link.GetAck();
            check(!ok || bytes.startsWith(QByteArray::fromHex("020a0000000606170003")));
        } catch (const vrx::SerialError&) {
        }
    } else {
        try {
            QString payload;
            if (link.ReadInfoFrame(payload)) {
                check(line.consumed() >= 9);
                check(payload.size() <= line.consumed() - 9);
            }
        } catch (const vrx::SerialError&) {
        } catch (const vrx::LinkError&) {
        }
    }
    check(line.consumed() <= bytes.size());
    return 0;
}
