// The terminal the board offers in terminal mode and as the secondary
// executable: echo (CR as CR LF), banner and prompt, answers to whole lines,
// optionally split across two writes.
#include "board.h"
#include "wire_bytes.h"

namespace vrx::sim {

namespace {
constexpr int kMaxLine = 4096;  // a longer line is cut; the terminal never grows without bound
constexpr char kBackspace = 8;
constexpr char kDelete = 127;
}  // namespace

void Board::startTerminal(const TerminalConfig& config) {
    activeTerminal_ = &config;
    pending_.clear();
    terminalInput_.clear();
    enter(State::Terminal);
    send(config.banner + config.prompt);
}

void Board::queueTerminal(quint8 byte) {
    if (terminalInput_.size() >= kTerminalInputLimit) {
        if (!overrun_) violate("terminal input overrun: bytes lost past XOFF");
        overrun_ = true;
        return;
    }
    terminalInput_.append(char(byte));
}

// Processes the input a line at a time while not busy, and keeps the flow
// control marks.
void Board::drainTerminal() {
    while (!lineBusyTimer_.isActive() && !terminalInput_.isEmpty() && state_ == State::Terminal) {
        const quint8 byte = quint8(terminalInput_.front());
        terminalInput_.remove(0, 1);
        feedTerminal(byte);
        if (byte == '\r' && activeTerminal_ && activeTerminal_->lineTimeMs > 0) {
            lineBusyTimer_.start(activeTerminal_->lineTimeMs);
        }
    }
    if (!xoffEnabled_) return;
    if (!xoffSent_ && terminalInput_.size() > kXoffMark) {
        xoffSent_ = true;
        note("terminal: XOFF sent");
        sendAtOnce(kXoff);
    } else if (xoffSent_ && terminalInput_.size() <= kXonMark) {
        xoffSent_ = false;
        note("terminal: XON sent");
        sendAtOnce(kXon);
    }
}

void Board::feedTerminal(quint8 byte) {
    const TerminalConfig& config = *activeTerminal_;
    const char c = char(byte);
    if (config.echo) send(c == '\r' ? QByteArray("\r\n") : QByteArray(1, c));
    if (c == '\r') {
        const QByteArray line = std::exchange(pending_, {});
        note("terminal: line \"" + QString::fromLatin1(line) + "\"");
        QByteArray reply;
        if (const auto found = config.answers.find(line); found != config.answers.end()) {
            reply = found->second;
        }
        sendAnswer(reply + config.prompt);
    } else if (c == kBackspace || c == kDelete) {
        pending_.chop(1);
    } else if (c != '\n' && pending_.size() < kMaxLine) {
        pending_.append(c);
    }
}

void Board::sendAnswer(const QByteArray& text) {
    const TerminalConfig& config = *activeTerminal_;
    if (splitTimer_.isActive()) {  // keep the order behind an answer still in flight
        splitRest_.append(text);
        return;
    }
    if (!config.splitAnswers || text.size() < 2) {
        send(text);
        return;
    }
    const int at =
        (config.splitAt > 0 && config.splitAt < text.size()) ? config.splitAt : text.size() / 2;
    send(text.left(at));
    splitRest_ = text.mid(at);
    splitTimer_.start(config.splitDelayMs);
}

}  // namespace vrx::sim
