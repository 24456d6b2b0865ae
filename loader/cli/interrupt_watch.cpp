#include "interrupt_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace vrx::cli {

namespace {

int pipeFds[2] = {-1, -1};
std::atomic<int> standing{0};
termios savedTerminal{};
volatile std::sig_atomic_t haveSavedTerminal = 0;

void onInterrupt(int) {
    if (standing.fetch_add(1) >= 1) {
        if (haveSavedTerminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        static const char text[] = "\nvrxload: interrupted\n";
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
        ::_exit(kExitInterrupted);
    }
    const char byte = 'i';
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
}

}  // namespace

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    if (::sigaction(SIGINT, &action, nullptr) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        if (take()) emit interrupted();
    });
}

InterruptWatch::~InterruptWatch() {
    ::signal(SIGINT, SIG_DFL);
    notifier_.reset();
    for (int& fd : pipeFds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

int InterruptWatch::fd() const {
    return pipeFds[0];
}

bool InterruptWatch::take() {
    char buffer[16];
    bool any = false;
    while (::read(pipeFds[0], buffer, sizeof buffer) > 0) any = true;
    return any;
}

void InterruptWatch::withdraw() {
    standing.store(0);
}

void InterruptWatch::setTerminalToRestore(const termios* settings) {
    haveSavedTerminal = 0;
    if (settings == nullptr) return;
    savedTerminal = *settings;
    haveSavedTerminal = 1;
}

}  // namespace vrx::cli
