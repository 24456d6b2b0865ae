// The loader's serial link and every sequence spoken over it, under the
// program's own names: port opening and line modes, byte sends and waits, the
// response time-out, the status log and progress, the cancel button, terminal
// mode, the boot ROM handshake and code transfer, and the primary loader's
// commands.
//
// Link reaches the window (or the command-line front end) only through
// LoaderFront, and the port only through SerialLine. It owns the three timers
// of the program (objectNames "timTimeOut", "timSentStatus", "timCommReceive").
// The window's button, key and timer slots simply call the handlers below.
//
// Handlers named control_Event (cmdStartPrimary_Click, ...) never throw while
// bDebug is false: run-time errors become the communication error message and
// the sequence's cancel path. While bDebug is true those errors propagate out
// of the handler, and the front end decides how to show them.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <exception>

#include "loader_front.h"
#include "serial_line.h"

namespace vrx {

inline constexpr const char* kLineSettings = "115200,N,8,1";
inline constexpr int kResponseTimeoutMs = 5000;
inline constexpr int kResponseTimeoutDebugMs = 10000;
inline constexpr int kSentStatusIntervalMs = 250;
inline constexpr int kCommReceiveIntervalMs = 200;
inline constexpr int kDtrPulseMs = 100;
// Key codes of the Alt+B key (KeyCode 66, shift state Alt = 4).
inline constexpr int kKeyCodeB = 66;
inline constexpr int kShiftAlt = 4;

class Link : public QObject {
    Q_OBJECT
  public:
    Link(SerialLine& line, LoaderFront& front, QObject* parent = nullptr);
    ~Link() override;

    // --- line operations ---
    void OpenPort();
    void ClosePort();
    // Programmed mode (false) or terminal mode (true). On a port error shows
    // the communication error message, closes the port and writes false back
    // into `enable`.
    void SetTerminalMode(bool& enable);
    // Puts the bytes on the line unchanged; nothing while bDebug is set.
    void SendText(const QByteArray& text);
    // Waits for one received byte or a cancel request; the byte as a
    // one-character (Latin-1) string, or the character with code 0 after a
    // cancel. Sleeps in the event loop, so it wakes on data, timers and input.
    QString ReadChar();
    // Reads one character into sRxChar, logs it, compares it exactly.
    bool ExpectChar(const QString& expected);
    // Appends a log text ("/n" marks a line break) and gives the event loop a turn.
    void LogStatus(const QString& text);
    void SetResponseTimeout(bool on);
    void timTimeOut_Timer();
    void timSentStatus_Timer();
    void cmdCancel_Click();
    // Drops DTR for 100 ms (Alt+B); nothing with the port closed.
    void PulseDtr();

    // A number text as a 32-bit field, least significant byte first.
    void sendField(const QString& numberText);
    void sendByte(int value) { SendText(QByteArray(1, static_cast<char>(value))); }

    // --- terminal mode and debug send ---
    void cmdTerminal_Click();
    void timCommReceive_Timer();
    // Shows received text in the log with the backspace, LF and CR rules; the
    // text is rewritten in place.
    void ShowReceived(QString& text);
    // A key typed into the status log; returns the KeyAscii to keep (always 0).
    int txtStatus_KeyPress(int keyAscii);
    void txtStatus_KeyDown(int keyCode, int shift);
    // The main window's "Debug Send String:" button: writes `text` (txtOut)
    // straight to the port, whatever the mode.
    void cmdOutput_Click(const QByteArray& text);
    // The waiting dialog's debug send: switches debug mode on, then writes
    // `text` straight to the port.
    void cmdOut_Click(const QByteArray& text);

    // --- boot ROM handshake, code transfer, primary loader commands ---
    bool WaitForBootId();
    bool BootHandshake();
    void SendCode(int i, bool& ok);
    void cmdStartPrimary_Click();
    void SendImage(int i, bool& ok);
    bool LoadSecondary();
    void cmdStartSecondary_Click();

    // --- frames, flash programming, image download ---
    void SendCommandFrame(int code);
    bool GetAck();
    bool ReadInfoFrame(QString& payload);
    void cmdPrgFlash_Click();
    void cmdURK_Click();

    // The communication error message: "Error communicating with COMn", the
    // cause line and "Error: " + `error`.
    void showCommError(const QString& cause, const QString& error);

    // The port number the port was last opened with (CommPort), else the
    // selected one.
    int commPort() const;
    bool terminalModeApplied() const { return modeApplied_; }
    // The interval the response time-out was last armed with (5000 or 10000 ms).
    int responseTimeoutMs() const { return responseTimeoutMs_; }

    QTimer& timTimeOut() { return timTimeOut_; }
    QTimer& timSentStatus() { return timSentStatus_; }
    QTimer& timCommReceive() { return timCommReceive_; }

    // Test seam: the response time-out really fires after its interval divided
    // by `divisor`; the program's interval (and so the message) is unchanged.
    void setTimeoutDivisorForTesting(int divisor) { timeoutDivisor_ = divisor; }

  private:
    void applyTerminalMode(bool enable);
    void waitForEvents();
    void onLineLost();
    // Asks whether a running transfer really stops; No clears bCancel.
    bool confirmCancel();
    bool runPrimaryLoad();
    bool runFlashProgramming();
    bool sendFlashHeader();
    bool sendFlashData();
    // The common end of a failed or cancelled long sequence: port closed,
    // time-out disarmed, not busy, `startButton` enabled again.
    void cancelPath(Control startButton);
    // A sequence that an error ended: the communication error message (not in
    // debug mode, where the error is rethrown) and the cancel path.
    void failSequence(Control startButton, const std::exception& error);
    void recordProgrammedMode();

    SerialLine& line_;
    LoaderFront& front_;
    QTimer timTimeOut_;
    QTimer timSentStatus_;
    QTimer timCommReceive_;
    // Not asked of the front end before the first OpenPort: the window builds
    // its port list after it builds the link.
    int commPort_ = 1;
    bool commPortSet_ = false;
    bool modeApplied_ = false;  // false: programmed mode
    int responseTimeoutMs_ = kResponseTimeoutMs;
    int timeoutDivisor_ = 1;
    bool timeoutBoxOpen_ = false;
};

}  // namespace vrx
