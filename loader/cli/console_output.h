// What vrxload writes: the status log on standard output, shown as the window
// shows it (CR LF as a line break, other control characters as their visible
// symbols); message boxes on standard error as one "TITLE: TEXT" entry; its
// own diagnostics as "vrxload: " lines; and, only when standard error is a
// terminal, a progress bar for transfers that never ends up in a log file.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

#include "shown_log_text.h"

namespace vrx::cli {

// "[#####.....]  12288/32768 bytes  37%  10.9 KiB/s  0:02 left" for a
// transfer `seconds` after it began.
QString ProgressLine(qint64 sent, qint64 total, double seconds);

class ConsoleOutput {
  public:
    // `out` and `err` stay owned by the caller; whether each is a terminal is
    // asked once, here.
    ConsoleOutput(std::FILE* out, std::FILE* err, bool quiet);
    // Tests say whether each stream is to count as a terminal.
    ConsoleOutput(std::FILE* out, std::FILE* err, bool quiet, bool outIsTerminal,
                  bool errIsTerminal);

    void setQuiet(bool quiet) { quiet_ = quiet; }
    bool quiet() const { return quiet_; }

    // Appends a log text (CR LF line breaks) after taking back the last
    // `replaceLast` characters.
    void log(const QString& text, int replaceLast);
    void box(const QString& title, const QString& text);
    void diagnostic(const QString& text);
    // A "vrxload: " line that only reports progress; none when quiet.
    void info(const QString& text);
    // Plain lines on standard error (the waiting dialog's instruction); none
    // when quiet.
    void notice(const QString& text);
    // Standard output lines that are the command's own result (the address table).
    void result(const QString& text);

    // A transfer's counters; redraws the bar when standard error is a terminal.
    void progress(qint64 sent, qint64 total);
    // The transfer is over: the bar goes away.
    void endProgress();

  private:
    void clearBar();
    void writeOut(const QString& text);
    void writeErr(const QString& text);
    // Standard error text that must start a line of its own on a screen that
    // also shows standard output.
    void writeErrLine(const QString& text);

    std::FILE* out_;
    std::FILE* err_;
    bool quiet_;
    bool outIsTerminal_;
    bool errIsTerminal_;
    bool barShown_ = false;
    QString partialLine_;  // shown text after the last line break on stdout
    QElapsedTimer transferClock_;
    qint64 lastSent_ = -1;
    qint64 lastTotal_ = -1;
};

}  // namespace vrx::cli
