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

QString stepList() {
    QStringList names;
    for (const StepName& s : kSteps) names << s.name;
    return names.join(", ");
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
    *error = "unknown step '" + name + "' (steps: " + stepList() + ")";
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

ParseResult parseSimOptions(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Plays a VRX5520 board (boot ROM, primary loader, flash loader fl_burn, or a plain\n"
        "terminal) on a pseudo-terminal. Prints the device path as the first line on\n"
        "stdout; point the loader's COMn at it. The board resets, and its boot ROM sends\n"
        "the boot ID, whenever a program opens the device.\n\n"
        "Texts take the escapes \\r, \\n, \\e, \\\\ and \\xNN. Steps for --fault and\n"
        "--silent-at: " +
        stepList() +
        ";\naccept and done take a command letter as in "
        "accept:u. --fault answers may also be\n'nak' (code 0x15) or 'zero-trailer' "
        "(trailer 00 00) for the acknowledgements.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption mode(
        "mode",
        "What the board runs: auto (boot ROM, then the primary loader, or "
        "the flash loader when the IRAM image contains \"fl_burn\"), "
        "boot, flash or terminal. Default auto.",
        "MODE", "auto");
    const QCommandLineOption link("link", "Also make a symlink PATH to the device.", "PATH");
    const QCommandLineOption version("version-text", "Version text of the flash loader.", "TEXT");
    const QCommandLineOption refuse("refuse", "Refuse (\"E\") the given commands, e.g. pu.",
                                    "LETTERS");
    const QCommandLineOption fault(
        "fault", "Answer TEXT instead of the normal answer at STEP, then go silent.", "STEP=TEXT");
    const QCommandLineOption silent("silent-at", "Answer nothing from STEP on.", "STEP");
    const QCommandLineOption noise("noise", "Bytes sent before the boot ID.", "TEXT");
    const QCommandLineOption info(
        "info-frame", "Malform the version information frame: no-stx, too-long or too-short.",
        "FAULT");
    const QCommandLineOption prompt("prompt", "Terminal and secondary prompt.", "TEXT");
    const QCommandLineOption banner("banner", "Terminal and secondary banner.", "TEXT");
    const QCommandLineOption answerOpt("answer", "Answer a terminal line LINE with TEXT.",
                                       "LINE=TEXT");
    const QCommandLineOption split("split",
                                   "Send each terminal answer in two parts, 450 ms apart.");
    const QCommandLineOption splitAt("split-at",
                                     "With --split: bytes in the first part (default: half).", "N");
    const QCommandLineOption noEcho("no-echo", "The terminal does not echo.");
    const QCommandLineOption resetDelay("reset-delay",
                                        "Milliseconds from reset to boot ID (default 50).", "MS");
    const QCommandLineOption repeat("boot-id-repeat",
                                    "Repeat the boot ID every MS until the loader answers.", "MS");
    const QCommandLineOption noResetOnOpen("no-reset-on-open",
                                           "Do not reset when the device is opened.");
    const QCommandLineOption stdinQuit("stdin-quit", "Quit when stdin reaches its end.");
    const QCommandLineOption verbose({"v", "verbose"}, "Log protocol events to stderr.");
    parser.addOptions({help,   mode,       link,   version,       refuse,    fault,  silent,
                       noise,  info,       prompt, banner,        answerOpt, split,  splitAt,
                       noEcho, resetDelay, repeat, noResetOnOpen, stdinQuit, verbose});

    ParseResult result;
    auto fail = [&](const QString& message) {
        result.message = message;
        return result;
    };
    if (!parser.parse(args)) return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty()) {
        return fail("unexpected argument: " + parser.positionalArguments().first());
    }
    if (parser.isSet(help)) {
        result.help = true;
        result.message = parser.helpText();
        return result;
    }

    SimOptions o;
    o.terminal = defaultTerminal();
    o.secondary = defaultSecondary();
    const auto parsedMode = parseMode(parser.value(mode));
    if (!parsedMode) return fail("unknown mode: " + parser.value(mode));
    o.mode = *parsedMode;
    o.link = parser.value(link);
    if (parser.isSet(version)) o.versionText = unescapeOption(parser.value(version));
    o.noise = unescapeOption(parser.value(noise));
    for (const QChar letter : parser.value(refuse)) {
        if (!QString("purk").contains(letter))
            return fail(QString("--refuse takes p, u, r, k, not ") + letter);
        o.faults.push_back({Step::Accept, letter.toLatin1(), "E"});
    }
    QString error;
    for (const QString& value : parser.values(fault)) {
        const int eq = value.indexOf('=');
        if (eq < 0) return fail("--fault wants STEP=TEXT: " + value);
        auto parsed = parseStep(value.left(eq), &error);
        if (!parsed) return fail(error);
        parsed->answer = parseAnswer(value.mid(eq + 1));
        o.faults.push_back(*parsed);
    }
    for (const QString& value : parser.values(silent)) {
        auto parsed = parseStep(value, &error);
        if (!parsed) return fail(error);
        o.faults.push_back(*parsed);
    }
    if (parser.isSet(info)) {
        const QString v = parser.value(info);
        if (v == "no-stx")
            o.infoFault = InfoFrameFault::NoStx;
        else if (v == "too-long")
            o.infoFault = InfoFrameFault::LengthTooLarge;
        else if (v == "too-short")
            o.infoFault = InfoFrameFault::LengthTooSmall;
        else
            return fail("unknown --info-frame fault: " + v);
    }
    for (TerminalConfig* t : {&o.terminal, &o.secondary}) {
        if (parser.isSet(prompt)) t->prompt = unescapeOption(parser.value(prompt));
        if (parser.isSet(banner)) t->banner = unescapeOption(parser.value(banner));
        t->splitAnswers = parser.isSet(split);
        if (parser.isSet(splitAt)) {
            bool ok = false;
            t->splitAt = parser.value(splitAt).toInt(&ok);
            if (!ok || t->splitAt < 1)
                return fail("--split-at wants a byte count: " + parser.value(splitAt));
        }
        t->echo = !parser.isSet(noEcho);
        for (const QString& value : parser.values(answerOpt)) {
            const int eq = value.indexOf('=');
            if (eq < 0) return fail("--answer wants LINE=TEXT: " + value);
            t->answers[unescapeOption(value.left(eq))] = unescapeOption(value.mid(eq + 1));
        }
    }
    for (const auto& [option, target] :
         {std::pair{&resetDelay, &o.resetDelayMs}, std::pair{&repeat, &o.bootIdRepeatMs}}) {
        if (!parser.isSet(*option)) continue;
        const auto ms = parseMs(parser.value(*option));
        if (!ms)
            return fail("--" + option->names().first() +
                        " wants milliseconds: " + parser.value(*option));
        *target = *ms;
    }
    o.resetOnOpen = !parser.isSet(noResetOnOpen);
    o.stdinQuit = parser.isSet(stdinQuit);
    o.verbose = parser.isSet(verbose);
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
    board.setResetOnOpen(options.resetOnOpen);
    board.clearFaults();
    for (const FaultOption& f : options.faults) board.setFault(f.step, f.answer, f.command);
}

}  // namespace vrx::sim
