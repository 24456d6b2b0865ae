// The simulated VRX5520 board: plays the target on one end of a serial line so
// the loader can be tried and tested without hardware.
//
// A Board is a QObject built on a SerialLine (the board's end of a MemoryLine
// pair, or a PtyLine); it opens that line and from then on reacts only to
// dataArrived() and its own timers, so it runs in the same event loop as the
// loader. No threads.
//
// What it runs after a reset depends on its Mode:
//   Terminal  a plain terminal: echo, optional banner and prompt, scripted
//             answers to commands (for the loader's terminal and scripts).
//   Boot      boot ROM -> primary loader ("X"; "p"/"u"/"r"/"k" + address + size
//             -> "o", code -> "t"; "d") -> secondary executable, a terminal.
//   Flash     boot ROM -> flash loader: "F" -> "F", "S", then frames.
//   Auto      boot ROM, then the program found in IRAM: the flash loader when
//             the IRAM image contains the bytes "fl_burn", else the primary
//             loader. Lets one running board serve both loader buttons.
//
// Boot ID and reset. The boot ROM sends its boot ID "5" once per reset, after
// resetDelay(). The board resets on powerCycle(); on a DTR pulse of the
// loader's MemoryLine end (DTR dropped and raised again within 1 s); and, while
// resetOnOpen() holds (the default), whenever the loader opens the port: boards
// of this kind hang their reset on the adapter's DTR, which a port raises as it
// opens. "The loader opens the port" is seen as the loader discarding its
// input, which its OpenPort does right after opening (MemoryLine's
// peerDiscardedInput(); PtyLine's peerOpened()/peerDiscardedInput(), wired by
// vrx-board-sim to loaderOpened()). The reset delay lets that discard pass
// before the boot ID goes out, so a user who presses "Load bin's" sees the
// board answer at once. setBootIdRepeat() makes the boot ROM repeat its boot ID
// until the first byte arrives; it is off by default because a repeat that
// crosses the loader's "A" leaves a stale "5" in the loader's input.
//
// Checking. Every byte the loader sends is kept (received()), and every answer
// the board sends (sent()); code lands in iram(), sdram() and nand() exactly as
// received, for tests to compare with the files. The board checks what it
// receives against the protocol (handshake order, 32-bit little-endian fields,
// IRAM of 64 KiB, the SDRAM window 0x80000000 to 0x84000000, frame layout,
// lengths, codes, trailers, header fields, erase flag, frame order) and lists
// each deviation in violations(); events() is a readable trace of the protocol
// steps, also signalled one by one (protocolEvent()).
//
// Line rate. setLinePace(baud) makes the board take the bytes it receives no
// faster than baud / 10 per second and send its own at that rate, as a UART
// does; what it has not taken yet stays with the line (a pty's kernel buffer
// fills and the writer meets back pressure). Off (0) by default for tests that
// do not care; vrx-board-sim runs at 115200. setXoff() makes the terminal send
// XOFF when its unprocessed input passes kXoffMark bytes and XON once it is
// down to kXonMark; input past kTerminalInputLimit is lost, as from a real
// ring buffer, and listed as a violation. TerminalConfig::lineTimeMs makes the
// terminal busy after each line, so input piles up as behind a slow command.
//
// Faults. setFault(step, answer) replaces the board's answer at one protocol
// step: a wrong character ("r" for "R", "T" for "t"), "E" for a refusal, a
// malformed acknowledgement, or nothing at all (silence). After a faulty answer
// the board goes silent until the next reset, as a confused target would;
// only a refusal ("E" at Step::Accept) leaves the primary loader waiting for
// the next command. setInfoFrameFault() malforms the version information frame.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <optional>
#include <vector>

#include "line_pace.h"
#include "serial_line.h"

namespace vrx::sim {

enum class Mode { Terminal, Boot, Flash, Auto };

// Where the board is in its protocols.
enum class State {
    Off,          // before the first reset
    Resetting,    // reset done, boot ID not sent yet
    BootRom,      // boot ID sent, waiting for "A" / "U" "3"
    BootLoad,     // "R" sent, taking start address, size and code into IRAM
    Primary,      // primary loader waiting for a command letter
    PrimaryLoad,  // primary loader taking address, size and code into SDRAM
    FlashWake,    // flash loader waiting for "F", then "S"
    FlashFrames,  // flash loader exchanging frames
    Terminal,     // a terminal (Mode::Terminal, or the secondary after "d")
    Halted,       // answered with a fault: silent until the next reset
};

// Protocol steps whose answer can be replaced by a fault.
enum class Step {
    BootId,        // "5" after reset
    SecondBootId,  // "5" after "A"
    BootReady,     // "R" after "U" "3"
    PrimaryReady,  // "X" when the primary loader starts
    Accept,        // "o" after a command's address and size
    Done,          // "t" after a command's code
    FlashWake,     // "F" after "F"
    VersionInfo,   // the information frame after VERSION REQUEST
    HeaderAck,     // acknowledgement of NAND FLASH HEADER
    DataAck,       // acknowledgement of NAND FLASH DATA
    EndAck,        // acknowledgement of END-OF-DATA
    CompleteAck,   // acknowledgement of NAND FLASH COMPLETE
};
QString stepName(Step step);
QString stateName(State state);

// How the version information frame is malformed.
enum class InfoFrameFault {
    None,
    NoStx,           // the frame starts with another byte
    LengthTooLarge,  // L above 32767 (only the first bytes follow)
    LengthTooSmall,  // L below 9
};

// The fixed acknowledgement and two malformed ones, for setFault().
inline const QByteArray kAck = QByteArray::fromHex("020A0000000606170003");
inline const QByteArray kAckZeroTrailer = QByteArray::fromHex("020A0000000606000003");
inline const QByteArray kAckNak = QByteArray::fromHex("020A0000001515170003");

// Frame codes of the flash loader.
inline constexpr quint8 kStx = 0x02;
inline constexpr quint8 kEtx = 0x03;
inline constexpr quint8 kVersionRequest = 0xA6;
inline constexpr quint8 kNandHeader = 0xAE;
inline constexpr quint8 kNandData = 0xAF;
inline constexpr quint8 kEndOfData = 0xA3;
inline constexpr quint8 kNandComplete = 0xB1;
inline constexpr quint8 kAckCode = 0x06;

// Code placed in memory: IRAM by the boot ROM, SDRAM by the primary loader.
struct LoadedImage {
    quint32 address = 0;
    quint32 size = 0;      // as announced by the loader
    quint32 received = 0;  // code bytes received so far
    // The bytes received, up to the size of the memory they went to (64 KiB
    // IRAM, 64 MiB SDRAM): an absurd size announced on the line never makes
    // the simulator hold more than the board could.
    QByteArray data;
    bool complete() const { return received == size; }
};

// What the flash loader was told to program, and what it programmed. Kept
// across resets, as the flash keeps its contents; a new header starts afresh.
struct NandRecord {
    bool headerSeen = false;
    quint32 address = 0;  // flash address from the header
    quint32 size = 0;     // image size from the header
    bool erase = false;   // full erase requested
    bool erased = false;  // the flash was erased
    QByteArray data;      // image bytes received in the data frame
    bool dataReceived = false;
    bool endOfData = false;
    bool complete = false;  // NAND FLASH COMPLETE acknowledged
};

// Terminal behaviour: Mode::Terminal and the secondary executable after "d".
struct TerminalConfig {
    bool echo = true;   // echo every byte; CR is echoed as CR LF
    QByteArray banner;  // sent once when the terminal starts
    QByteArray prompt;  // sent after the banner and after every line (CR)
    // Answers to whole lines (without their CR): line -> answer, sent before the prompt.
    std::map<QByteArray, QByteArray> answers;
    // Send each answer+prompt in two writes, the second after splitDelayMs, so
    // a reader that polls every 200 ms sees it in two chunks.
    bool splitAnswers = false;
    int splitDelayMs = 450;
    int splitAt = -1;    // bytes in the first write; -1 splits in the middle
    int lineTimeMs = 0;  // the terminal is busy this long after each line
};

inline constexpr char kXon = 0x11;
inline constexpr char kXoff = 0x13;
inline constexpr qsizetype kXoffMark = 256;
inline constexpr qsizetype kXonMark = 64;
// Room for what is still on its way after XOFF: the loader keeps up to 4 KiB
// ahead of the wire.
inline constexpr qsizetype kTerminalInputLimit = 8192;

class Board : public QObject {
    Q_OBJECT
  public:
    // Opens `line` (device "board") and powers the board on: the first reset
    // happens at once. `line` must outlive the board.
    explicit Board(SerialLine& line, Mode mode = Mode::Boot, QObject* parent = nullptr);
    ~Board() override;

    // --- configuration (takes effect at the next step; mode at the next reset) ---
    void setMode(Mode mode) { mode_ = mode; }
    Mode mode() const { return mode_; }
    void setTerminal(const TerminalConfig& config) { terminal_ = config; }
    const TerminalConfig& terminal() const { return terminal_; }
    // Secondary executable started by "d": banner and prompt of its terminal.
    void setSecondary(const TerminalConfig& config) { secondary_ = config; }
    void setVersionText(const QByteArray& text) { versionText_ = text; }
    // How long a full erase takes before the header is acknowledged (0: at once).
    void setEraseDelay(int ms) { eraseDelayMs_ = ms; }
    void setResetDelay(int ms) { resetDelayMs_ = ms; }
    int resetDelay() const { return resetDelayMs_; }
    void setBootIdRepeat(int ms) { bootIdRepeatMs_ = ms; }
    void setResetOnOpen(bool on) { resetOnOpen_ = on; }
    bool resetOnOpen() const { return resetOnOpen_; }
    // The line rate (0: as fast as the line goes); `clock` for tests (see LinePace).
    void setLinePace(int baud, PaceClock clock = {});
    int baud() const { return rxPace_.baud(); }
    void setXoff(bool on) { xoffEnabled_ = on; }
    // Takes and sends what the line rate allows by now; the board calls it from
    // its own timer, a test with an injected clock calls it after moving time.
    void serviceLine();
    // Bytes the terminal has taken off the line but not processed yet.
    qsizetype terminalBacklog() const { return terminalInput_.size(); }
    // Bytes the boot ROM sends before its boot ID (line noise).
    void setBootNoise(const QByteArray& noise) { bootNoise_ = noise; }

    // --- faults ---
    // Answer `answer` instead of the normal one at `step`; an empty answer is
    // silence. For Accept and Done, `command` limits the fault to one command
    // letter ('p', 'u', 'r', 'k'; 0 means every command).
    void setFault(Step step, const QByteArray& answer, char command = 0);
    void clearFaults();
    void setInfoFrameFault(InfoFrameFault fault) { infoFault_ = fault; }

    // --- stimulus ---
    void powerCycle();                     // reset now; the boot ID follows after resetDelay()
    void inject(const QByteArray& bytes);  // send bytes to the loader now, whatever the state
    // DTR of the loader's end changed; a drop followed by a raise within 1 s resets.
    void dtrChanged(bool on);
    // The loader opened the port: resets the board when resetOnOpen() holds.
    void loaderOpened();

    // --- observation ---
    State state() const { return state_; }
    // Keeping every byte and event suits a test; a long-running server turns
    // it off and listens to the signals instead. On by default.
    void setRecording(bool on) { recording_ = on; }
    const QByteArray& received() const { return received_; }
    const QByteArray& sent() const { return sent_; }
    void clearCapture();
    const QStringList& events() const { return events_; }
    const QStringList& violations() const { return violations_; }
    int resetCount() const { return resetCount_; }
    const std::optional<LoadedImage>& iram() const { return iram_; }
    // SDRAM images per command letter ('p', 'u', 'r', 'k'); the last load wins.
    const std::map<char, LoadedImage>& sdram() const { return sdram_; }
    const NandRecord& nand() const { return nand_; }
    bool secondaryStarted() const { return secondaryStarted_; }

  signals:
    void protocolEvent(const QString& text);  // one per events() entry
    void violation(const QString& text);      // one per violations() entry
    void bytesTaken(qint64 count);            // bytes taken off the line, at the line rate

  private:
    struct FaultRule {
        Step step;
        char command;
        QByteArray answer;
    };

    void onData();
    void takeInput();
    void pumpOutput();
    void schedulePace();
    void sendAtOnce(char byte);
    void feed(quint8 byte);
    void enter(State state);
    void send(const QByteArray& bytes);
    // Sends the answer of `step` (or its fault). False when a fault was sent.
    bool answer(Step step, const QByteArray& normal, char command = 0);
    void note(const QString& text);
    void violate(const QString& text);
    void announceBootId();

    // boot ROM and primary loader (board_boot.cpp)
    void feedBootRom(quint8 byte);
    bool takeLoadHeader(quint8 byte);
    void feedBootLoad(quint8 byte);
    void startIramProgram();
    void feedPrimary(quint8 byte);
    void feedPrimaryLoad(quint8 byte);

    // flash loader (board_flash.cpp)
    void feedFlashWake(quint8 byte);
    void feedFlashFrame(quint8 byte);
    void frameLengthKnown();
    void handleFrame();
    void handleHeader(const QByteArray& payload);
    void handleData(const QByteArray& payload);
    void sendInfoFrame();

    // terminal (board_terminal.cpp)
    void startTerminal(const TerminalConfig& config);
    void feedTerminal(quint8 byte);
    void queueTerminal(quint8 byte);
    void drainTerminal();
    void sendAnswer(const QByteArray& text);

    SerialLine& line_;
    Mode mode_;
    State state_ = State::Off;
    TerminalConfig terminal_;
    TerminalConfig secondary_;
    const TerminalConfig* activeTerminal_ = nullptr;
    QByteArray versionText_ = "VRX5520 fl_burn (simulated) 1.0";
    int resetDelayMs_ = 50;
    int eraseDelayMs_ = 0;
    int bootIdRepeatMs_ = 0;
    bool resetOnOpen_ = true;
    bool recording_ = true;
    QByteArray bootNoise_;
    std::vector<FaultRule> faults_;
    InfoFrameFault infoFault_ = InfoFrameFault::None;

    QTimer bootTimer_;
    QTimer eraseTimer_;
    QTimer splitTimer_;
    QTimer paceTimer_;
    QTimer lineBusyTimer_;
    LinePace rxPace_;
    LinePace txPace_;
    QByteArray outgoing_;       // answers waiting for the line rate
    QByteArray terminalInput_;  // taken off the line, not yet processed
    bool xoffEnabled_ = false;
    bool xoffSent_ = false;
    bool overrun_ = false;
    QByteArray splitRest_;
    QElapsedTimer dtrDropped_;  // valid while DTR is down

    QByteArray received_;
    QByteArray sent_;
    QStringList events_;
    QStringList violations_;
    int resetCount_ = 0;

    // protocol progress
    QByteArray pending_;             // the bytes of the field or frame being assembled
    int bootStage_ = 0;              // boot ROM: 0 wants "A", 1 wants "U", 2 wants "3"
    char command_ = 0;               // primary loader: the command being served
    LoadedImage* target_ = nullptr;  // image being received (in iram_ or sdram_)
    bool headerDone_ = false;        // address and size of `target_` received
    bool sPending_ = false;          // flash loader: "F" answered, "S" expected
    // Frames this flash loader run has taken; the NAND record outlives a reset,
    // the order of a run does not.
    bool runHeader_ = false;
    bool runData_ = false;
    bool runEnd_ = false;
    quint32 frameLength_ = 0;  // flash loader: L of the frame in pending_ (0 until known)

    std::optional<LoadedImage> iram_;
    std::map<char, LoadedImage> sdram_;
    NandRecord nand_;
    bool secondaryStarted_ = false;
};

}  // namespace vrx::sim
