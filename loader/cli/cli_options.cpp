#include "cli_options.h"

#include <QRegularExpression>

#include "loader_state.h"

namespace vrx::cli {

namespace {

struct CommandWord {
    const char* word;
    CommandKind kind;
};

constexpr CommandWord kCommands[] = {
    {"primary", CommandKind::Primary},   {"urk", CommandKind::Urk},
    {"start", CommandKind::Start},       {"flash", CommandKind::Flash},
    {"script", CommandKind::Script},     {"terminal", CommandKind::Terminal},
    {"validate", CommandKind::Validate}, {"ports", CommandKind::Ports},
};

std::optional<int> slotNumber(const QString& text) {
    bool ok = false;
    const int slot = text.trimmed().toInt(&ok);
    if (!ok || slot < 0 || slot >= kSlotCount) return std::nullopt;
    return slot;
}

// "N=PATH[,ADDRESS]". The address is whatever follows the last comma, so a
// path may itself contain commas only when an address is given.
std::optional<SlotOption> parseSlot(const QString& value, QString& error) {
    const qsizetype eq = value.indexOf('=');
    if (eq < 0) {
        error = "--slot wants N=PATH[,ADDRESS]: " + value;
        return std::nullopt;
    }
    const auto slot = slotNumber(value.left(eq));
    if (!slot) {
        error = "unknown slot '" + value.left(eq) + "' (slots are 0 to 6)";
        return std::nullopt;
    }
    SlotOption option;
    option.slot = *slot;
    const QString rest = value.mid(eq + 1);
    const qsizetype comma = rest.lastIndexOf(',');
    option.path = comma < 0 ? rest : rest.left(comma);
    if (comma >= 0) option.address = rest.mid(comma + 1).trimmed();
    if (option.path.isEmpty()) {
        error = "--slot " + value.left(eq) + " names no file";
        return std::nullopt;
    }
    return option;
}

class ArgumentReader {
  public:
    explicit ArgumentReader(const QStringList& args) : args_(args) {}
    bool atEnd() const { return next_ >= args_.size(); }
    QString take() { return args_.at(next_++); }
    bool peekIs(const QString& text) const { return !atEnd() && args_.at(next_) == text; }

    // The value of an option given as "--name value" or "--name=value".
    std::optional<QString> value(const std::optional<QString>& inlineValue) {
        if (inlineValue) return inlineValue;
        if (atEnd()) return std::nullopt;
        return take();
    }

  private:
    const QStringList& args_;
    qsizetype next_ = 0;
};

}  // namespace

const char* CommandName(CommandKind kind) {
    for (const CommandWord& c : kCommands) {
        if (c.kind == kind) return c.word;
    }
    return "?";
}

std::optional<int> ComPortNumber(const QString& text) {
    static const QRegularExpression com("^COM([1-8]):?$",
                                        QRegularExpression::CaseInsensitiveOption);
    const auto match = com.match(text.trimmed());
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

ParsedCommandLine ParseCommandLine(const QStringList& args) {
    ParsedCommandLine result;
    CliOptions o;
    ArgumentReader in(args);
    auto fail = [&result](const QString& error) {
        result.error = error;
        return result;
    };
    bool optionsEnded = false;
    while (!in.atEnd()) {
        const QString arg = in.take();
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg == "-h") {
            o.help = true;
            continue;
        }
        if (!optionsEnded && arg.startsWith("--")) {
            const qsizetype eq = arg.indexOf('=');
            const QString name = eq < 0 ? arg : arg.left(eq);
            const std::optional<QString> inlineValue =
                eq < 0 ? std::nullopt : std::optional<QString>(arg.mid(eq + 1));
            const bool takesValue = name == "--port" || name == "--ini" || name == "--slot" ||
                                    name == "--untick" || name == "--wait" || name == "--trace";
            if (!takesValue && inlineValue) return fail(name + " takes no value");
            if (takesValue) {
                const auto value = in.value(inlineValue);
                if (!value) return fail(name + " wants a value");
                if (name == "--port") {
                    if (value->trimmed().isEmpty()) return fail("--port wants a device or COMn");
                    o.port = value->trimmed();
                } else if (name == "--ini") {
                    if (value->isEmpty()) return fail("--ini wants a file");
                    o.ini = *value;
                } else if (name == "--trace") {
                    if (value->isEmpty()) return fail("--trace wants a file");
                    o.trace = *value;
                } else if (name == "--wait") {
                    bool ok = false;
                    const int seconds = value->trimmed().toInt(&ok);
                    if (!ok || seconds < 1 || seconds > kMaxWaitSeconds)
                        return fail("--wait wants whole seconds, 1 to " +
                                    QString::number(kMaxWaitSeconds) + ": " + *value);
                    o.waitSeconds = seconds;
                } else if (name == "--slot") {
                    QString error;
                    auto slot = parseSlot(*value, error);
                    if (!slot) return fail(error);
                    o.slotFiles.push_back(*slot);
                } else {
                    const auto slot = slotNumber(*value);
                    if (!slot) return fail("unknown slot '" + *value + "' (slots are 0 to 6)");
                    o.untick.push_back(*slot);
                }
            } else if (name == "--yes") {
                o.yes = true;
            } else if (name == "--quiet") {
                o.quiet = true;
            } else if (name == "--help") {
                o.help = true;
            } else if (name == "--version") {
                o.version = true;
            } else if (name == "--erase") {
                return fail("--erase belongs right after the flash command");
            } else {
                return fail("unknown option " + name);
            }
            continue;
        }
        const CommandWord* word = nullptr;
        for (const CommandWord& c : kCommands) {
            if (arg == QLatin1String(c.word)) word = &c;
        }
        if (!word) return fail("unknown command '" + arg + "'");
        Command command{word->kind, false, {}};
        if (word->kind == CommandKind::Flash && in.peekIs("--erase")) {
            in.take();
            command.erase = true;
        }
        if (word->kind == CommandKind::Script) {
            if (in.atEnd()) return fail("script wants a FILE");
            command.file = in.take();
        }
        o.commands.push_back(command);
    }
    if (o.commands.empty() && !o.help && !o.version) return fail("no command given");
    result.options = o;
    return result;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: vrxload [OPTIONS] COMMAND...\n"
        "Runs the VRX5520 loader's sequences without a window, in the order given.\n"
        "\n"
        "Commands:\n"
        "  primary        load bin's / start primary: slot 0 and, when ticked, slot 1\n"
        "  urk            download the ticked U-Boot, root FS and kernel images (2 to 4)\n"
        "                 through the primary loader a preceding 'primary' started\n"
        "  start          start the secondary executable (\"d\")\n"
        "  flash [--erase]  program the NAND flash with slot 5, loading fl_burn (slot 6)\n"
        "  script FILE    run a script (\">\" lines send, \"<\" lines wait) in terminal mode\n"
        "  terminal       standard input to the line, the target's text to standard\n"
        "                 output; Ctrl-] or the end of standard input quits\n"
        "  validate       check the addresses and print the address table\n"
        "  ports          list COM1..COM8 with their devices, then every serial device\n"
        "                 present (by-id name, description, maker, serial, VID:PID)\n"
        "\n"
        "Options:\n"
        "  --port DEVICE  serial device path, or COM1..COM8 mapped as the window maps them\n"
        "                 (default COM1)\n"
        "  --ini FILE     INI file (default: VRX5520_Loader.INI beside this program)\n"
        "  --slot N=PATH[,ADDRESS]  choose slot N's file (and address) and tick it\n"
        "  --untick N     leave slot N out\n"
        "  --wait SECONDS give up waiting for the boot ID or a script's \"<\" text after\n"
        "                 SECONDS (exit status 1); without it vrxload waits, as the\n"
        "                 window does, until Ctrl-C\n"
        "  --trace FILE   write every byte on the line, both ways, with a time stamp,\n"
        "                 direction and hex + ASCII columns to FILE\n"
        "  --yes          answer Yes when a cancel during a transfer asks to confirm\n"
        "  --quiet        no status log, waiting text or progress bar\n"
        "  -h, --help     show this help\n"
        "  --version      show the version\n"
        "\n"
        "Exit status: 0 success, 1 the sequence failed or was cancelled, 2 bad usage or\n"
        "configuration (INI file, slot, address check), 3 the port could not be opened.\n");
}

}  // namespace vrx::cli
