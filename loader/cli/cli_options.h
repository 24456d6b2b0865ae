// The command line of vrxload: commands in the order given and the options
// that fill the slots and choose the port, parsed into CliOptions. Kept apart
// from main() so the parsing is testable without starting a process.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace vrx::cli {

// The longest --wait: a day.
inline constexpr int kMaxWaitSeconds = 86400;

enum class CommandKind { Primary, Urk, Start, Flash, Script, Terminal, Validate, Ports };

struct Command {
    CommandKind kind;
    bool erase = false;  // flash --erase
    QString file;        // script FILE
};

struct SlotOption {
    int slot = 0;
    QString path;                    // as given; relative to the current folder
    std::optional<QString> address;  // typed address, normalised when applied
};

struct CliOptions {
    std::vector<Command> commands;
    QString port;                // --port: a device path or COMn; empty: COM1
    std::optional<QString> ini;  // --ini; empty: the window's INI file
    std::vector<SlotOption> slotFiles;
    std::vector<int> untick;
    std::optional<int> waitSeconds;
    QString trace;  // --trace: file for every byte on the line; empty: none  // --wait: bound on
                    // each wait for the target
    bool yes = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    std::optional<CliOptions> options;  // empty on a usage error
    QString error;                      // what was wrong, without the "vrxload: " prefix
};

// `args` without the program name.
ParsedCommandLine ParseCommandLine(const QStringList& args);

// The port number of a "COMn" or "COMn:" text (any case, 1..8), or nothing
// when the text names a device path instead.
std::optional<int> ComPortNumber(const QString& text);

QString UsageText();

const char* CommandName(CommandKind kind);

}  // namespace vrx::cli
