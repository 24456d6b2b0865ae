// Message boxes of vrxload: every box goes to standard error as one
// "TITLE: TEXT" entry. The Yes/No question (a cancel during a transfer) is
// answered Yes with --yes, else asked on the controlling terminal; with no
// terminal to ask on, the cancel the user requested stands. The file dialog
// answers with the file named on the command line (script FILE).
#pragma once

#include <optional>

#include "console_output.h"
#include "dialogs.h"

namespace vrx::cli {

class InterruptWatch;

class ConsoleDialogs : public Dialogs {
  public:
    ConsoleDialogs(ConsoleOutput& out, bool answerYes, InterruptWatch* interrupts = nullptr);

    void message(MessageIcon icon, const QString& title, const QString& text) override;
    bool askYesNo(const QString& title, const QString& text) override;
    std::optional<QString> openFile(const FileDialogRequest& request) override;

    // What the next file dialog answers (once).
    void setNextFile(const QString& path) { nextFile_ = path; }
    // Communication error messages shown so far.
    int commErrors() const { return commErrors_; }

  private:
    std::optional<bool> askTerminal();

    ConsoleOutput& out_;
    bool answerYes_;
    InterruptWatch* interrupts_;
    std::optional<QString> nextFile_;
    int commErrors_ = 0;
};

}  // namespace vrx::cli
