// The board's core: power and reset, byte dispatch by state, answers with their
// faults, and the record of everything seen. The protocols themselves live in
// board_boot.cpp, board_flash.cpp and board_terminal.cpp.
#include "board.h"

#include <algorithm>

#include "memory_line.h"
#include "wire_bytes.h"

namespace vrx::sim {

namespace {
// A DTR drop counts as a reset pulse when DTR comes back within this time.
constexpr qint64 kDtrPulseMaxMs = 1000;
}  // namespace

QString stepName(Step step) {
    switch (step) {
        case Step::BootId:
            return "boot ID";
        case Step::SecondBootId:
            return "second boot ID";
        case Step::BootReady:
            return "boot ready 'R'";
        case Step::PrimaryReady:
            return "primary ready 'X'";
        case Step::Accept:
            return "acceptance 'o'";
        case Step::Done:
            return "final 't'";
        case Step::FlashWake:
            return "flash wake-up 'F'";
        case Step::VersionInfo:
            return "version information";
        case Step::HeaderAck:
            return "header acknowledgement";
        case Step::DataAck:
            return "data acknowledgement";
        case Step::EndAck:
            return "end-of-data acknowledgement";
        case Step::CompleteAck:
            return "complete acknowledgement";
    }
    return "?";
}

QString stateName(State state) {
    switch (state) {
        case State::Off:
            return "off";
        case State::Resetting:
            return "resetting";
        case State::BootRom:
            return "boot ROM";
        case State::BootLoad:
            return "boot ROM loading IRAM";
        case State::Primary:
            return "primary loader";
        case State::PrimaryLoad:
            return "primary loader loading SDRAM";
        case State::FlashWake:
            return "flash loader waking";
        case State::FlashFrames:
            return "flash loader frames";
        case State::Terminal:
            return "terminal";
        case State::Halted:
            return "halted";
    }
    return "?";
}

Board::Board(SerialLine& line, Mode mode, QObject* parent)
    : QObject(parent), line_(line), mode_(mode) {
    bootTimer_.setSingleShot(true);
    connect(&bootTimer_, &QTimer::timeout, this, &Board::announceBootId);
    eraseTimer_.setSingleShot(true);
    connect(&eraseTimer_, &QTimer::timeout, this, [this] {
        note("flash loader: flash erased");
        answer(Step::HeaderAck, kAck);
    });
    splitTimer_.setSingleShot(true);
    connect(&splitTimer_, &QTimer::timeout, this, [this] {
        const QByteArray rest = std::exchange(splitRest_, {});
        send(rest);
    });
    paceTimer_.setSingleShot(true);
    paceTimer_.setTimerType(Qt::PreciseTimer);
    connect(&paceTimer_, &QTimer::timeout, this, &Board::serviceLine);
    lineBusyTimer_.setSingleShot(true);
    connect(&lineBusyTimer_, &QTimer::timeout, this, &Board::drainTerminal);
    connect(&line_, &SerialLine::dataArrived, this, &Board::onData);
    if (auto* memory = qobject_cast<MemoryLine*>(&line_)) {
        connect(memory, &MemoryLine::dtrChanged, this, &Board::dtrChanged);
        connect(memory, &MemoryLine::peerDiscardedInput, this, &Board::loaderOpened);
    }
    if (!line_.isOpen()) line_.open("board", "115200,N,8,1");
    powerCycle();
}

Board::~Board() = default;

void Board::setFault(Step step, const QByteArray& answer, char command) {
    faults_.push_back({step, command, answer});
}

void Board::clearFaults() {
    faults_.clear();
}

void Board::powerCycle() {
    ++resetCount_;
    note(QString("reset #%1 (%2 mode)")
             .arg(resetCount_)
             .arg(mode_ == Mode::Terminal ? "terminal"
                  : mode_ == Mode::Boot   ? "boot"
                  : mode_ == Mode::Flash  ? "flash"
                                          : "auto"));
    eraseTimer_.stop();
    splitTimer_.stop();
    lineBusyTimer_.stop();
    splitRest_.clear();
    outgoing_.clear();
    terminalInput_.clear();
    xoffSent_ = false;
    overrun_ = false;
    pending_.clear();
    bootStage_ = 0;
    command_ = 0;
    target_ = nullptr;
    headerDone_ = false;
    sPending_ = false;
    runHeader_ = runData_ = runEnd_ = false;
    frameLength_ = 0;
    activeTerminal_ = nullptr;
    // RAM does not survive a power cycle; the NAND does.
    iram_.reset();
    sdram_.clear();
    secondaryStarted_ = false;
    enter(State::Resetting);
    bootTimer_.start(resetDelayMs_);
}

void Board::announceBootId() {
    if (state_ == State::BootRom) {  // a repeat while nothing has arrived yet
        if (bootIdRepeatMs_ <= 0) return;
        send("5");
        bootTimer_.start(bootIdRepeatMs_);
        return;
    }
    if (state_ != State::Resetting) return;
    if (mode_ == Mode::Terminal) {
        startTerminal(terminal_);
        return;
    }
    if (!bootNoise_.isEmpty()) {
        note("boot ROM: line noise " + answerText(bootNoise_));
        send(bootNoise_);
    }
    if (!answer(Step::BootId, "5")) return;
    enter(State::BootRom);
    if (bootIdRepeatMs_ > 0) bootTimer_.start(bootIdRepeatMs_);
}

void Board::inject(const QByteArray& bytes) {
    note("injected " + answerText(bytes));
    send(bytes);
}

void Board::dtrChanged(bool on) {
    if (!on) {
        dtrDropped_.start();
        return;
    }
    if (dtrDropped_.isValid() && dtrDropped_.elapsed() <= kDtrPulseMaxMs) {
        note("DTR pulse");
        powerCycle();
    }
    dtrDropped_.invalidate();
}

void Board::loaderOpened() {
    if (!resetOnOpen_) return;
    note("the loader opened the port");
    powerCycle();
}

void Board::clearCapture() {
    received_.clear();
    sent_.clear();
    events_.clear();
    violations_.clear();
}

void Board::setLinePace(int baud, PaceClock clock) {
    rxPace_ = LinePace(baud, clock);
    txPace_ = LinePace(baud, std::move(clock));
}

void Board::onData() {
    takeInput();
}

void Board::serviceLine() {
    takeInput();
    pumpOutput();
}

// Only what the line rate has carried by now; the rest waits in the line.
void Board::takeInput() {
    const qint64 allowed = rxPace_.unlimited() ? 0 : rxPace_.available();
    if (!rxPace_.unlimited() && allowed <= 0) {
        if (line_.bytesWaiting() > 0) schedulePace();
        return;
    }
    const QByteArray bytes = line_.read(allowed);
    rxPace_.spend(bytes.size());
    if (line_.bytesWaiting() > 0) schedulePace();
    if (bytes.isEmpty()) return;
    emit bytesTaken(bytes.size());
    if (recording_) received_.append(bytes);
    if (state_ == State::BootRom) bootTimer_.stop();  // the loader has answered
    if (state_ == State::Resetting || state_ == State::Halted) {
        note(QString("nobody listens (%1): %2").arg(stateName(state_), bytesText(bytes)));
    }
    for (const char byte : bytes) feed(quint8(byte));
    if (state_ == State::Terminal) drainTerminal();
}

void Board::pumpOutput() {
    if (outgoing_.isEmpty()) return;
    const qint64 allowed = std::min<qint64>(txPace_.available(), outgoing_.size());
    if (allowed > 0) {
        try {
            line_.write(outgoing_.left(allowed));
        } catch (const SerialError& error) {
            note(QString("answer lost: ") + error.what());
        }
        txPace_.spend(allowed);
        outgoing_.remove(0, allowed);
    }
    if (!outgoing_.isEmpty()) schedulePace();
}

void Board::schedulePace() {
    if (paceTimer_.isActive()) return;
    // Wake for a useful piece, not for every byte.
    const int ms = std::max(rxPace_.msUntil(kPaceBurst / 2), txPace_.msUntil(1));
    paceTimer_.start(std::max(ms, 1));
}

void Board::feed(quint8 byte) {
    switch (state_) {
        case State::Off:
        case State::Resetting:
        case State::Halted:
            break;  // nobody listens
        case State::BootRom:
            feedBootRom(byte);
            break;
        case State::BootLoad:
            feedBootLoad(byte);
            break;
        case State::Primary:
            feedPrimary(byte);
            break;
        case State::PrimaryLoad:
            feedPrimaryLoad(byte);
            break;
        case State::FlashWake:
            feedFlashWake(byte);
            break;
        case State::FlashFrames:
            feedFlashFrame(byte);
            break;
        case State::Terminal:
            queueTerminal(byte);
            break;
    }
}

void Board::enter(State state) {
    if (state == state_) return;
    state_ = state;
    note("state: " + stateName(state));
}

void Board::send(const QByteArray& bytes) {
    if (bytes.isEmpty()) return;
    if (recording_) sent_.append(bytes);
    outgoing_.append(bytes);
    pumpOutput();
}

// Flow control characters go out ahead of everything queued, as a UART sends them.
void Board::sendAtOnce(char byte) {
    try {
        line_.write(QByteArray(1, byte));
    } catch (const SerialError& error) {
        note(QString("flow control lost: ") + error.what());
    }
}

bool Board::answer(Step step, const QByteArray& normal, char command) {
    for (const FaultRule& rule : faults_) {
        if (rule.step != step || (rule.command != 0 && rule.command != command)) continue;
        if (rule.answer.isEmpty()) {
            note("fault: silent at " + stepName(step));
        } else {
            note("fault: " + stepName(step) + " answered with " + answerText(rule.answer));
            send(rule.answer);
        }
        // A refusal is part of the primary loader's protocol: it stays ready for
        // the next command. Anything else leaves the target confused.
        const bool refusal = step == Step::Accept && rule.answer == "E";
        enter(refusal ? State::Primary : State::Halted);
        return false;
    }
    send(normal);
    return true;
}

void Board::note(const QString& text) {
    if (recording_) events_.append(text);
    emit protocolEvent(text);
}

void Board::violate(const QString& text) {
    if (recording_) violations_.append(text);
    note("VIOLATION: " + text);
    emit violation(text);
}

}  // namespace vrx::sim
