#include "terminal_session.h"

#include <termios.h>
#include <unistd.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include "console_front.h"
#include "interrupt_watch.h"
#include "link.h"

namespace vrx::cli {

namespace {

// Standard input without line editing, echo or signal keys while the session
// runs; put back however it ends (also by a second Ctrl-C from elsewhere).
class RawInput {
  public:
    RawInput() {
        if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios raw = saved_;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~tcflag_t(IXON | ICRNL | INLCR | IGNCR);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
        active_ = true;
        InterruptWatch::setTerminalToRestore(&saved_);
    }
    ~RawInput() {
        if (!active_) return;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        InterruptWatch::setTerminalToRestore(nullptr);
    }
    RawInput(const RawInput&) = delete;
    RawInput& operator=(const RawInput&) = delete;

  private:
    termios saved_{};
    bool active_ = false;
};

}  // namespace

TerminalSession::TerminalSession(Link& link, ConsoleFront& front, QObject* parent)
    : QObject(parent), link_(link), front_(front) {}

TerminalEnd TerminalSession::run() {
    if (front_.portState() != QLatin1String("Open...")) return TerminalEnd::PortClosed;
    const RawInput raw;
    QEventLoop loop;
    TerminalEnd end = TerminalEnd::UserQuit;

    QTimer quiet;
    quiet.setSingleShot(true);
    quiet.setInterval(kDrainQuietMs);
    QTimer limit;
    limit.setSingleShot(true);
    limit.setInterval(kDrainLimitMs);
    connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto startDrain = [&] {
        quiet.start();
        limit.start();
    };

    front_.logWritten = [&quiet] {
        if (quiet.isActive()) quiet.start();
    };
    front_.portStateChanged = [&] {
        if (front_.portState() != QLatin1String("Open...")) {
            end = TerminalEnd::PortClosed;
            loop.quit();
        }
    };

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    connect(&input, &QSocketNotifier::activated, &loop, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            startDrain();
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == kQuitKey) {
                input.setEnabled(false);
                loop.quit();
                return;
            }
            link_.txtStatus_KeyPress(static_cast<unsigned char>(buffer[i]));
        }
    });
    if (!input.isValid()) startDrain();

    loop.exec();
    front_.logWritten = nullptr;
    front_.portStateChanged = nullptr;
    return end;
}

}  // namespace vrx::cli
