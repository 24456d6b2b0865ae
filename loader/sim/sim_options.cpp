#include "sim_options.h"

#include <QCommandLineParser>
#include <array>

namespace vrx::sim {

namespace {

struct StepName {
    const char* name;
    Step step;
};
constexpr std::array<StepName, 12> kSteps = {{
    {"boot-id", Step::BootId},
    {"second-boot-id", Step::SecondBootId},
    {"ready", Step::BootReady},
    {"primary-ready", Step::PrimaryReady},
    {"accept", Step::Accept},
    {"done", Step::Done},
    {"flash-wake", Step::FlashWake},
    {"version-info", Step::VersionInfo},
    {"header-ack", Step::HeaderAck},
    {"data-ack", Step::DataAck},
    {"end-ack", Step::EndAck},
    {"complete-ack", Step::CompleteAck},
}};

// The step names, wrapped for the help text.
QString stepList() {
    QString text;
    int lineLength = 0;
    for (const StepName& s : kSteps) {
        const QString name = QString(s.name) + (&s == &kSteps.back() ? "" : ",");
        if (lineLength > 0 && lineLength + name.size() > 72) {
            text += "\n  ";
            lineLength = 0;
        } else if (lineLength > 0) {
            text += ' ';
            ++lineLength;
        }
        text += name;
        lineLength += name.size();
    }
    return text;
}

// "STEP" or "STEP:LETTER" (the letter only for accept and done).
std::optional<FaultOption> parseStep(const QString& text, QString* error) {
    const QString name = text.section(':', 0, 0);
    const QString letter = text.section(':', 1);
    for (const StepName& s : kSteps) {
        if (name != s.name) continue;
        FaultOption fault{s.step, 0, {}};
        if (!letter.isEmpty()) {
            const bool perCommand = s.step == Step::Accept || s.step == Step::Done;
            if (!perCommand || letter.size() != 1 || !QString("purk").contains(letter)) {
                *error = "a command letter (p, u, r or k) goes only with accept and done: " + text;
                return std::nullopt;
            }
            fault.command = letter[0].toLatin1();
        }
        return fault;
    }
    *error = "unknown step '" + name + "'";
    return std::nullopt;
}

QByteArray parseAnswer(const QString& text) {
    if (text == "nak") return kAckNak;
    if (text == "zero-trailer") return kAckZeroTrailer;
    return unescapeOption(text);
}

std::optional<Mode> parseMode(const QString& text) {
    if (text == "auto") return Mode::Auto;
    if (text == "boot") return Mode::Boot;
    if (text == "flash") return Mode::Flash;
    if (text == "terminal") return Mode::Terminal;
    return std::nullopt;
}

std::optional<int> parseMs(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0) return std::nullopt;
    return value;
}

TerminalConfig defaultTerminal() {
    TerminalConfig t;
    t.banner = "VRX5520 simulated board\r\n";
    t.prompt = "=> ";
    t.answers["help"] = "commands: help, version\r\n";
    t.answers["version"] = "VRX5520 simulated board 1.0\r\n";
    return t;
}

TerminalConfig defaultSecondary() {
    TerminalConfig t;
    t.banner = "\r\nVRX5520 secondary executable (simulated)\r\n";
    t.prompt = "login: ";
    return t;
}

}  // namespace

QByteArray unescapeOption(const QString& text) {
    const QByteArray in = text.toUtf8();
    QByteArray out;
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 >= in.size()) {
            out.append(in[i]);
            continue;
        }
        const char c = in[++i];
        if (c == 'r') {
            out.append('\r');
        } else if (c == 'n') {
            out.append('\n');
        } else if (c == 'e') {
            out.append('\x1b');
        } else if (c == 'x') {
            bool ok = false;
            const int value = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok && i + 2 < in.size()) {
                out.append(char(value));
                i += 2;
            } else {
                out.append("\\x");
            }
        } else {
            out.append(c);
        }
    }
    return out;
}

namespace {

const QString kDescription =
    "Plays a VRX5520 board (boot ROM, primary loader, flash loader fl_burn, or a plain\n"
    "terminal) on a pseudo-terminal. Prints the device path as the first line on\n"
    "stdout; point the loader's COMn at it. The board resets, and its boot ROM sends\n"
    "the boot ID, whenever a program opens the device.\n\n"
    "Texts take the escapes \\r, \\n, \\e, \\\\ and \\xNN. Steps for --fault and --silent-at:\n"
    "  %1\n"
    "accept and done take a command letter, as in accept:u=E. --fault answers may\n"
    "also be 'nak' (code 0x15) or 'zero-trailer' (trailer 00 00) for the\n"
    "acknowledgements.";

// Every option of the program, declared once; the readers below take them apart.
struct Declared {
    QCommandLineOption help{{"h", "help"}, "Show this help and exit."};
    QCommandLineOption mode{
        "mode",
        "What the board runs: auto (boot ROM, then the primary loader, or the "
        "flash loader when the IRAM image contains \"fl_burn\"), boot, flash or "
        "terminal. Default auto.",
        "MODE", "auto"};
    QCommandLineOption link{"link", "Also make a symlink PATH to the device.", "PATH"};
    QCommandLineOption version{"version-text", "Version text of the flash loader.", "TEXT"};
    QCommandLineOption refuse{"refuse", "Refuse (\"E\") the given commands, e.g. pu.", "LETTERS"};
    QCommandLineOption fault{
        "fault", "Answer TEXT instead of the normal answer at STEP, then go silent.", "STEP=TEXT"};
    QCommandLineOption silent{"silent-at", "Answer nothing from STEP on.", "STEP"};
    QCommandLineOption noise{"noise", "Bytes sent before the boot ID.", "TEXT"};
    QCommandLineOption info{"info-frame",
                            "Malform the version information frame: no-stx, too-long or too-short.",
                            "FAULT"};
    QCommandLineOption prompt{"prompt", "Terminal and secondary prompt.", "TEXT"};
    QCommandLineOption banner{"banner", "Terminal and secondary banner.", "TEXT"};
    QCommandLineOption answer{"answer", "Answer a terminal line LINE with TEXT.", "LINE=TEXT"};
    QCommandLineOption split{"split", "Send each terminal answer in two parts, 450 ms apart."};
    QCommandLineOption splitAt{"split-at", "With --split: bytes in the first part (default: half).",
                               "N"};
    QCommandLineOption noEcho{"no-echo", "The terminal does not echo."};
    QCommandLineOption resetDelay{"reset-delay", "Milliseconds from reset to boot ID (default 50).",
                                  "MS"};
    QCommandLineOption repeat{"boot-id-repeat",
                              "Repeat the boot ID every MS until the loader answers.", "MS"};
    QCommandLineOption eraseDelay{
        "erase-delay", "Milliseconds a full erase takes before its acknowledgement.", "MS"};
    QCommandLineOption baud{"baud",
                            "Line rate: take and send no more than RATE/10 bytes per second "
                            "(default 115200; 0: as fast as the pseudo-terminal goes).",
                            "RATE"};
    QCommandLineOption xoff{"xoff",
                            "The terminal sends XOFF when its input piles up and XON when it has "
                            "caught up."};
    QCommandLineOption lineTime{
        "line-time", "Milliseconds the terminal is busy after each line (default 0).", "MS"};
    QCommandLineOption noResetOnOpen{"no-reset-on-open", "Do not reset when the device is opened."};
    QCommandLineOption stdinQuit{"stdin-quit", "Quit when stdin reaches its end."};
    QCommandLineOption verbose{{"v", "verbose"}, "Log protocol events to stderr."};

    QList<QCommandLineOption> all() const {
        return {help,   mode,       link,          version,   refuse,  fault,   silent, noise,
                info,   prompt,     banner,        answer,    split,   splitAt, noEcho, resetDelay,
                repeat, eraseDelay, noResetOnOpen, stdinQuit, verbose, baud,    xoff,   lineTime};
    }
};

// Each reader fills its part of `o` and returns an error text, empty when all is well.

QString readFaults(const QCommandLineParser& p, const Declared& d, SimOptions& o) {
    for (const QChar letter : p.value(d.refuse)) {
        if (!QString("purk").contains(letter)) {
            return QString("--refuse takes p, u, r, k, not ") + letter;
        }
        o.faults.push_back({Step::Accept, letter.toLatin1(), "E"});
    }
    QString error;
    for (const QString& value : p.values(d.fault)) {
        const int eq = value.indexOf('=');
        if (eq < 0) return "--fault wants STEP=TEXT: " + value;
        auto parsed = parseStep(value.left(eq), &error);
        if (!parsed) return error;
        parsed->answer = parseAnswer(value.mid(eq + 1));
        o.faults.push_back(*parsed);
    }
    for (const QString& value : p.values(d.silent)) {
        auto parsed = parseStep(value, &error);
        if (!parsed) return error;
        o.faults.push_back(*parsed);
    }
    if (!p.isSet(d.info)) return {};
    const QString kind = p.value(d.info);
    if (kind == "no-stx") {
        o.infoFault = InfoFrameFault::NoStx;
    } else if (kind == "too-long") {
        o.infoFault = InfoFrameFault::LengthTooLarge;
    } else if (kind == "too-short") {
        o.infoFault = InfoFrameFault::LengthTooSmall;
    } else {
        return "unknown --info-frame fault: " + kind;
    }
    return {};
}

QString readTerminal(const QCommandLineParser& p, const Declared& d, TerminalConfig& t) {
    if (p.isSet(d.prompt)) t.prompt = unescapeOption(p.value(d.prompt));
    if (p.isSet(d.banner)) t.banner = unescapeOption(p.value(d.banner));
    t.splitAnswers = p.isSet(d.split);
    if (p.isSet(d.lineTime)) {
        const auto ms = parseMs(p.value(d.lineTime));
        if (!ms) return "--line-time wants milliseconds: " + p.value(d.lineTime);
        t.lineTimeMs = *ms;
    }
    t.echo = !p.isSet(d.noEcho);
    if (p.isSet(d.splitAt)) {
        bool ok = false;
        t.splitAt = p.value(d.splitAt).toInt(&ok);
        if (!ok || t.splitAt < 1) return "--split-at wants a byte count: " + p.value(d.splitAt);
    }
    for (const QString& value : p.values(d.answer)) {
        const int eq = value.indexOf('=');
        if (eq < 0) return "--answer wants LINE=TEXT: " + value;
        t.answers[unescapeOption(value.left(eq))] = unescapeOption(value.mid(eq + 1));
    }
    return {};
}

QString readBoard(const QCommandLineParser& p, const Declared& d, SimOptions& o) {
    const auto mode = parseMode(p.value(d.mode));
    if (!mode) return "unknown mode: " + p.value(d.mode);
    o.mode = *mode;
    o.link = p.value(d.link);
    if (p.isSet(d.version)) o.versionText = unescapeOption(p.value(d.version));
    o.noise = unescapeOption(p.value(d.noise));
    for (const auto& [option, target] :
         {std::pair{&d.resetDelay, &o.resetDelayMs}, std::pair{&d.repeat, &o.bootIdRepeatMs},
          std::pair{&d.eraseDelay, &o.eraseDelayMs}}) {
        if (!p.isSet(*option)) continue;
        const auto ms = parseMs(p.value(*option));
        if (!ms) return "--" + option->names().first() + " wants milliseconds: " + p.value(*option);
        *target = *ms;
    }
    if (p.isSet(d.baud)) {
        bool ok = false;
        o.baud = p.value(d.baud).toInt(&ok);
        if (!ok || o.baud < 0) return "--baud wants a rate in bits per second: " + p.value(d.baud);
    }
    o.xoff = p.isSet(d.xoff);
    o.resetOnOpen = !p.isSet(d.noResetOnOpen);
    o.stdinQuit = p.isSet(d.stdinQuit);
    o.verbose = p.isSet(d.verbose);
    return {};
}

}  // namespace

ParseResult parseSimOptions(const QStringList& args) {
    const Declared declared;
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription.arg(stepList()));
    parser.addOptions(declared.all());

    ParseResult result;
    if (!parser.parse(args)) {
        result.message = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.message = "unexpected argument: " + parser.positionalArguments().first();
        return result;
    }
    if (parser.isSet(declared.help)) {
        result.help = true;
        result.message = parser.helpText();
        return result;
    }
    SimOptions o;
    o.terminal = defaultTerminal();
    o.secondary = defaultSecondary();
    for (const QString& error : {readBoard(parser, declared, o), readFaults(parser, declared, o),
                                 readTerminal(parser, declared, o.terminal),
                                 readTerminal(parser, declared, o.secondary)}) {
        if (!error.isEmpty()) {
            result.message = error;
            return result;
        }
    }
    result.options = o;
    return result;
}

void applySimOptions(const SimOptions& options, Board& board) {
    board.setMode(options.mode);
    board.setTerminal(options.terminal);
    board.setSecondary(options.secondary);
    board.setVersionText(options.versionText);
    board.setBootNoise(options.noise);
    board.setInfoFrameFault(options.infoFault);
    board.setResetDelay(options.resetDelayMs);
    board.setBootIdRepeat(options.bootIdRepeatMs);
    board.setEraseDelay(options.eraseDelayMs);
    board.setResetOnOpen(options.resetOnOpen);
    board.setLinePace(options.baud);
    board.setXoff(options.xoff);
    board.clearFaults();
    for (const FaultOption& f : options.faults) board.setFault(f.step, f.answer, f.command);
}

}  // namespace vrx::sim
