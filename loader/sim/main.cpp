// vrx-board-sim: serves the simulated board on a pseudo-terminal. Prints the
// slave device path as the first line on stdout, then plays the board until
// SIGTERM or SIGINT (or the end of stdin with --stdin-quit).
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "board.h"
#include "pty_line.h"
#include "sim_options.h"

namespace {

using vrx::sim::Board;
using vrx::sim::PtyLine;

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

int quitPipe[2] = {-1, -1};

void onQuitSignal(int) {
    const char byte = 'q';
    [[maybe_unused]] const ssize_t n = ::write(quitPipe[1], &byte, 1);
}

// Signals arrive through a pipe so the event loop, not the handler, ends the program.
bool installQuitSignals() {
    if (::pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    ::sigemptyset(&action.sa_mask);
    // A reader of stdout that went away must not kill the board mid-session.
    ::signal(SIGPIPE, SIG_IGN);
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

void logLine(const QString& text) {
    std::fprintf(stderr, "vrx-board-sim: %s\n", text.toLocal8Bit().constData());
}

// The link is replaced only when it is a symlink already (a stale one of an
// earlier run); a real file of that name is never touched.
bool makeLink(const QString& link, const QString& target) {
    const QFileInfo info(link);
    if (info.isSymLink()) {
        QFile::remove(link);
    } else if (info.exists()) {
        logLine("will not replace " + link + ": it is not a symlink");
        return false;
    }
    if (!QFile::link(target, link)) {
        logLine("cannot make the link " + link);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const vrx::sim::ParseResult parsed = vrx::sim::parseSimOptions(app.arguments());
    if (parsed.help) {
        std::fputs(parsed.message.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parsed.options) {
        logLine(parsed.message + " (see --help)");
        return kExitUsage;
    }
    const vrx::sim::SimOptions& options = *parsed.options;
    if (!installQuitSignals()) {
        logLine("cannot install the signal handlers");
        return kExitFailure;
    }

    std::unique_ptr<PtyLine> pty;
    try {
        pty = std::make_unique<PtyLine>();
    } catch (const vrx::SerialError& error) {
        logLine(error.what());
        return kExitFailure;
    }
    if (!options.link.isEmpty() && !makeLink(options.link, pty->slavePath())) return kExitFailure;

    Board board(*pty, options.mode);
    vrx::sim::applySimOptions(options, board);
    board.setRecording(false);  // serves for hours; -v shows the events as they happen
    // The board came up before the options applied; start it again as configured.
    board.powerCycle();
    QObject::connect(pty.get(), &PtyLine::peerOpened, &board, &Board::loaderOpened);
    QObject::connect(pty.get(), &PtyLine::peerDiscardedInput, &board, &Board::loaderOpened);
    if (options.verbose) {
        QObject::connect(&board, &Board::protocolEvent, &logLine);
        QObject::connect(pty.get(), &PtyLine::peerOpened, [] { logLine("device opened"); });
        QObject::connect(pty.get(), &PtyLine::peerClosed, [] { logLine("device closed"); });
    }

    QSocketNotifier quitNotifier(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::unique_ptr<QSocketNotifier> stdinNotifier;
    if (options.stdinQuit) {
        stdinNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(stdinNotifier.get(), &QSocketNotifier::activated, [&] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) app.quit();  // end of input, or stdin gone
        });
    }

    std::printf("%s\n", pty->slavePath().toLocal8Bit().constData());
    std::fflush(stdout);
    const int status = app.exec();
    if (!options.link.isEmpty() && QFileInfo(options.link).symLinkTarget() == pty->slavePath()) {
        QFile::remove(options.link);
    }
    return status;
}
