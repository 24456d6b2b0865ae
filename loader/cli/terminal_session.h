// The terminal command: standard input goes to the line byte by byte as it
// comes, as keys typed into the window's status log do (raw when standard
// input is a terminal, so Enter sends CR and Ctrl-C reaches the target); what
// the target sends shows through the receive timer as in the window. Ctrl-]
// (never sent) or the end of standard input ends it; after the end of input
// the target's last words are still shown until the line falls quiet.
#pragma once

#include <QObject>

namespace vrx {
class Link;
}

namespace vrx::cli {

class ConsoleFront;

// How long the line must stay quiet after the end of input, and the longest
// wait for that.
inline constexpr int kDrainQuietMs = 700;
inline constexpr int kDrainLimitMs = 5000;
inline constexpr char kQuitKey = 0x1D;  // Ctrl-]

enum class TerminalEnd { UserQuit, PortClosed };

class TerminalSession : public QObject {
    Q_OBJECT
  public:
    TerminalSession(Link& link, ConsoleFront& front, QObject* parent = nullptr);

    TerminalEnd run();

  private:
    Link& link_;
    ConsoleFront& front_;
};

}  // namespace vrx::cli
