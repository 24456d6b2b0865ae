#include "command_runner.h"

#include <unistd.h>

#include <QFileInfo>

#include "console_front.h"
#include "counting_port_line.h"
#include "interrupt_watch.h"
#include "link.h"
#include "loader_state.h"
#include "script_runner.h"
#include "shown_log_text.h"
#include "terminal_session.h"
#include "wait_limit.h"

namespace vrx::cli {

CommandRunner::CommandRunner(Link& link, ConsoleFront& front, ConsoleOutput& out,
                             CountingPortLine& line, InterruptWatch* interrupts, QObject* parent)
    : QObject(parent), link_(link), front_(front), out_(out), line_(line) {
    if (interrupts) {
        connect(interrupts, &InterruptWatch::interrupted, this, [this] {
            interrupted_ = true;
            link_.cmdCancel_Click();
        });
    }
}

int CommandRunner::run(const std::vector<Command>& commands) {
    int status = kExitOk;
    for (const Command& command : commands) {
        if (interrupted_) break;
        status = runOne(command);
        if (status == kExitFailed) {
            // A CI log shows why without anyone reading the status log.
            const QString step = front_.failingStep();
            out_.diagnostic(QString(CommandName(command.kind)) + " failed" +
                            (step.isEmpty() ? QString() : ": " + step));
        }
        if (status != kExitOk) break;
    }
    if (interrupted_ && status == kExitOk) status = kExitFailed;
    // What the last sequence handed to the line still goes out ("d" of start).
    line_.close();
    return status;
}

bool CommandRunner::buttonReady(const Command& command) {
    switch (command.kind) {
        case CommandKind::Primary:
            if (front_.isEnabled(Control::StartPrimary)) return true;
            out_.diagnostic(
                "primary: slot 0 has no file (PRIMARY in the INI file, or --slot 0=PATH)");
            return false;
        case CommandKind::Urk:
            if (front_.isEnabled(Control::URK)) return true;
            out_.diagnostic(
                "urk: no primary loader is ready; run primary with the secondary "
                "executable first, in the same invocation");
            return false;
        case CommandKind::Start:
            if (front_.isEnabled(Control::StartSecondary)) return true;
            out_.diagnostic(
                "start: no secondary executable is loaded; run primary with the "
                "secondary executable first, in the same invocation");
            return false;
        default:
            return true;
    }
}

int CommandRunner::runOne(const Command& command) {
    if (!buttonReady(command)) return kExitUsage;
    front_.startCommand();
    opensAtStart_ = line_.opens();
    switch (command.kind) {
        case CommandKind::Primary:
            link_.cmdStartPrimary_Click();
            return sequenceStatus();
        case CommandKind::Urk:
            link_.cmdURK_Click();
            return sequenceStatus();
        case CommandKind::Start:
            link_.cmdStartSecondary_Click();
            return sequenceStatus();
        case CommandKind::Flash:
            front_.setFullErase(command.erase);
            link_.cmdPrgFlash_Click();
            return sequenceStatus();
        case CommandKind::Script:
            return script(command.file);
        case CommandKind::Terminal:
            return terminal();
        case CommandKind::Validate:
            return validate();
        case CommandKind::Ports:
            out_.result(portListing ? portListing() : QString());
            return kExitOk;
    }
    return kExitUsage;
}

int CommandRunner::sequenceStatus() {
    const CommandOutcome outcome = front_.outcome();
    if (outcome.addressRefused) return kExitUsage;
    if (outcome.openAttempts > line_.opens() - opensAtStart_) return kExitPort;
    if (outcome.cancelPath || outcome.commErrors > 0 || interrupted_) return kExitFailed;
    return kExitOk;
}

int CommandRunner::validate() {
    const bool ok = front_.checkAddresses();
    QString table = QStringLiteral("index  start       size\n");
    for (const AddressRow& row : front_.addressRows())
        table += QString("%1  %2  %3\n").arg(row.index, -5).arg(row.start, -10).arg(row.size);
    out_.result(table);
    return ok ? kExitOk : kExitUsage;
}

int CommandRunner::terminal() {
    // The window's terminal button toggles; a line already in terminal mode
    // (after primary without slot 1, or start) stays as it is.
    if (!loaderState().bTerminalMode) link_.cmdTerminal_Click();
    const int status = sequenceStatus();
    if (status != kExitOk) return status;
    if (!loaderState().bTerminalMode) return kExitFailed;
    // --quiet silences the log, but what the board says is the session itself.
    const bool quiet = out_.quiet();
    out_.setQuiet(false);
    // Someone at a keyboard needs to know the way out; a pipe ends at its end.
    if (::isatty(STDIN_FILENO) == 1) out_.diagnostic("terminal: Ctrl-] quits");
    TerminalSession session(link_, front_);
    const TerminalEnd end = session.run();
    out_.setQuiet(quiet);
    if (end == TerminalEnd::PortClosed) return kExitFailed;
    return interrupted_ ? kExitFailed : kExitOk;
}

// The window runs scripts only in terminal mode; the command first switches
// it on as the terminal button would, so "vrxload script FILE" stands alone.
int CommandRunner::script(const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        out_.diagnostic("script: cannot read " + file);
        return kExitUsage;
    }
    if (!loaderState().bTerminalMode) link_.cmdTerminal_Click();
    const int status = sequenceStatus();
    if (status != kExitOk) return status;
    if (!loaderState().bTerminalMode || !line_.isOpen()) return kExitFailed;

    ScriptHooks hooks =
        LineScriptHooks(line_, [this](const QString& text) { front_.setStatusPanel(text); });
    WaitLimit* limit = front_.waitLimit();
    QString lateText;
    if (limit && limit->bounded()) {
        hooks.waiting = [limit, &lateText](bool waiting) {
            if (waiting) {
                lateText = loaderState().sWaitFor;
                limit->arm();
            } else if (!limit->disarm()) {
                lateText.clear();
            }
        };
    }
    front_.setControlEnabled(Control::ExecScript, false);
    const int lines = RunScript(info.absoluteFilePath(), hooks);
    front_.setControlEnabled(Control::ExecScript, true);
    const QString summary = QStringLiteral("%1 script lines executed.").arg(lines);
    front_.setStatusPanel(summary);
    out_.info(summary);
    if (!lateText.isEmpty()) {
        out_.diagnostic(QString("script line %1: \"%2\" did not come from %3 within %4 s")
                            .arg(lines)
                            .arg(ShownLogText(lateText).trimmed())
                            .arg(front_.deviceName())
                            .arg(limit->seconds()));
        return kExitFailed;
    }
    // A script that lost its port or was cancelled did not run to its end.
    if (interrupted_ || !line_.isOpen()) return kExitFailed;
    return kExitOk;
}

}  // namespace vrx::cli
