// The command line of vrx-board-sim: which board to play and which faults to
// inject, parsed into SimOptions and applied to a Board. Kept apart from main()
// so the parsing can be tested without starting a process.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "board.h"

namespace vrx::sim {

struct FaultOption {
    Step step;
    char command = 0;   // Accept and Done only; 0 for every command
    QByteArray answer;  // empty: silence
};

struct SimOptions {
    Mode mode = Mode::Auto;
    QString link;  // symlink to make to the slave device, or empty
    bool stdinQuit = false;
    bool verbose = false;
    bool resetOnOpen = true;
    int resetDelayMs = 50;
    int bootIdRepeatMs = 0;
    int eraseDelayMs = 0;
    int baud = kDefaultBaud;  // 0: as fast as the pseudo-terminal goes
    bool xoff = false;
    QByteArray versionText = "VRX5520 fl_burn (simulated) 1.0";
    QByteArray noise;
    InfoFrameFault infoFault = InfoFrameFault::None;
    std::vector<FaultOption> faults;
    TerminalConfig terminal;   // Mode::Terminal
    TerminalConfig secondary;  // the secondary executable after "d"
};

struct ParseResult {
    std::optional<SimOptions> options;  // empty on an error or after --help
    QString message;                    // the error, or the help text
    bool help = false;
};

// `args` includes the program name first, as QCoreApplication::arguments() gives it.
ParseResult parseSimOptions(const QStringList& args);

void applySimOptions(const SimOptions& options, Board& board);

// "\x02", "\r", "\n", "\\" and "\e" escapes in option texts.
QByteArray unescapeOption(const QString& text);

}  // namespace vrx::sim
