// Runs vrxload's commands in the order given, each as the window's button
// runs it, through the one Link the window uses too; stops at the first that
// fails and turns what it left behind into the exit status. Ctrl-C acts as
// the window's cancel button and lets no further command start.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

#include "cli_options.h"

namespace vrx {
class Link;
}

namespace vrx::cli {

class ConsoleFront;
class ConsoleOutput;
class CountingPortLine;
class InterruptWatch;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPort = 3;

class CommandRunner : public QObject {
    Q_OBJECT
  public:
    CommandRunner(Link& link, ConsoleFront& front, ConsoleOutput& out, CountingPortLine& line,
                  InterruptWatch* interrupts, QObject* parent = nullptr);

    int run(const std::vector<Command>& commands);

    // The text of the ports command, read when it runs.
    std::function<QString()> portListing;

  private:
    int runOne(const Command& command);
    int sequenceStatus();
    // A command whose button the window would show disabled is refused.
    bool buttonReady(const Command& command);
    int validate();
    int terminal();
    int script(const QString& file);

    Link& link_;
    ConsoleFront& front_;
    ConsoleOutput& out_;
    CountingPortLine& line_;
    int opensAtStart_ = 0;
    bool interrupted_ = false;
};

}  // namespace vrx::cli
