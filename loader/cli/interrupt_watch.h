// Ctrl-C for vrxload. The SIGINT handler only writes a byte to a pipe, which a
// QSocketNotifier reads, so the signal wakes the event loop wherever a
// sequence sleeps in it. A second SIGINT, while the first is still standing,
// ends the program from the handler itself (restoring the terminal first), so
// it works even where nothing reads the pipe.
#pragma once

#include <termios.h>

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace vrx::cli {

inline constexpr int kExitInterrupted = 1;

class InterruptWatch : public QObject {
    Q_OBJECT
  public:
    explicit InterruptWatch(QObject* parent = nullptr);
    ~InterruptWatch() override;
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool installed() const { return notifier_ != nullptr; }
    // The pipe's read end, for a blocking wait that must also see Ctrl-C.
    int fd() const;
    // Reads what the handler wrote; true when a Ctrl-C was waiting.
    bool take();
    // The standing Ctrl-C was answered (a cancel withdrawn with No): the next
    // one counts as the first again.
    void withdraw();

    // Terminal settings of standard input to put back before the program ends
    // on a second Ctrl-C; nullptr forgets them.
    static void setTerminalToRestore(const termios* settings);

  signals:
    void interrupted();

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vrx::cli
