#include "console_dialogs.h"

#include <fcntl.h>
#include <unistd.h>

#include "interrupt_watch.h"

namespace vrx::cli {

namespace {

// Closes the terminal it opened, however the question ends.
class TerminalFd {
  public:
    TerminalFd() : fd_(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY)) {}
    ~TerminalFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TerminalFd(const TerminalFd&) = delete;
    TerminalFd& operator=(const TerminalFd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

ConsoleDialogs::ConsoleDialogs(ConsoleOutput& out, bool answerYes, InterruptWatch* interrupts)
    : out_(out), answerYes_(answerYes), interrupts_(interrupts) {}

void ConsoleDialogs::message(MessageIcon, const QString& title, const QString& text) {
    if (title == QLatin1String("Error") &&
        text.startsWith(QLatin1String("Error communicating with COM")))
        ++commErrors_;
    out_.box(title, text);
}

bool ConsoleDialogs::askYesNo(const QString& title, const QString& text) {
    out_.box(title, text);
    if (answerYes_) return true;
    const std::optional<bool> answer = askTerminal();
    if (!answer) {
        out_.diagnostic("no terminal to ask on: the cancel stands");
        return true;
    }
    // A No withdraws the Ctrl-C that raised the question.
    if (!*answer && interrupts_) interrupts_->withdraw();
    return *answer;
}

std::optional<bool> ConsoleDialogs::askTerminal() {
    const TerminalFd tty;
    if (tty.get() < 0) return std::nullopt;
    static const char prompt[] = "Yes or No? [y/N] ";
    if (::write(tty.get(), prompt, sizeof prompt - 1) < 0) return std::nullopt;
    QByteArray line;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(tty.get(), &c, 1);
        if (n <= 0 || c == '\n' || c == '\r') break;
        line.append(c);
    }
    const QByteArray word = line.trimmed().toLower();
    return word == "y" || word == "yes";
}

std::optional<QString> ConsoleDialogs::openFile(const FileDialogRequest&) {
    std::optional<QString> file = nextFile_;
    nextFile_.reset();
    return file;
}

}  // namespace vrx::cli
