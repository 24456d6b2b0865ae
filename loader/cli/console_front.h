// vrxload's LoaderFront: what the window's controls are to the sequences, on
// a console. Slots come from the SlotModel, the status log and boxes go to
// ConsoleOutput, button states are remembered (a command whose button the
// window would show disabled is refused), and the waiting dialog prints its
// instruction text once and runs the wait. It also notes, per command, what
// the exit status needs: a refused address, a port that did not open, the
// cancel path.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "address_check.h"
#include "console_dialogs.h"
#include "console_output.h"
#include "loader_front.h"
#include "slot_model.h"
#include "wait_limit.h"

namespace vrx::cli {

// What vrxload shows while it waits for the boot ID: the waiting dialog's text.
QString WaitForCommText();

// What one command left behind, for its exit status.
struct CommandOutcome {
    bool addressRefused = false;
    bool cancelPath = false;  // the cancel line was logged
    int commErrors = 0;
    int openAttempts = 0;  // OpenPort asked for a device
};

class ConsoleFront : public LoaderFront {
  public:
    using PortDevice = std::function<QString(int port)>;

    ConsoleFront(SlotModel& slotModel, ConsoleOutput& out, ConsoleDialogs& dialogs, int port,
                 PortDevice portDevice);

    bool slotTicked(int slot) const override { return slots_.slot(slot).ticked; }
    QString slotPath(int slot) const override { return slots_.slot(slot).path; }
    QString slotAddress(int slot) const override { return slots_.slot(slot).address; }
    QString slotSize(int slot) const override { return slots_.slot(slot).size; }
    bool fullErase() const override { return fullErase_; }
    int selectedPort() const override { return port_; }
    QString deviceForPort(int port) const override;
    QString portName(int port) const override;

    void writeLog(const QString& text, int replaceLast = 0) override;
    int logLength() const override { return int(logLength_); }
    void focusLog() override {}

    void setControlEnabled(Control control, bool enabled) override;
    void setTerminalCaption(const QString&) override {}
    void setPortState(const QString& text) override;
    void setStatusPanel(const QString& text) override { statusPanel_ = text; }
    void setProgress(float percent) override;

    Dialogs& dialogs() override { return dialogs_; }
    bool checkAddresses() override;
    void runBootIdWait(const std::function<void()>& waitLoop) override;

    void setFullErase(bool erase) { fullErase_ = erase; }
    // --wait: bounds the boot ID wait and each script wait; none by default.
    void setWaitLimit(WaitLimit* limit) { waitLimit_ = limit; }
    WaitLimit* waitLimit() const { return waitLimit_; }
    // The device the chosen port stands for, or "COMn" when none is mapped.
    QString deviceName() const;
    // --port named a device: errors name it instead of "COM1".
    void setExplicitDevice(const QString& device) { explicitDevice_ = device; }
    bool isEnabled(Control control) const;
    QString portState() const { return portState_; }
    // The rows of the last address check.
    const std::vector<AddressRow>& addressRows() const { return rows_; }

    void startCommand();
    CommandOutcome outcome() const;
    // The last log line of this command before its cancel line: the step that
    // failed, for the one-line summary on standard error.
    QString failingStep() const;

    // Told whenever a log text is written (the terminal waits for quiet).
    std::function<void()> logWritten;
    // Told when the port state changes ("Open..." / "Closed...").
    std::function<void()> portStateChanged;

  private:
    SlotModel& slots_;
    ConsoleOutput& out_;
    ConsoleDialogs& dialogs_;
    int port_;
    PortDevice portDevice_;
    WaitLimit* waitLimit_ = nullptr;
    QString explicitDevice_;
    bool fullErase_ = false;
    qsizetype logLength_ = 0;
    std::map<Control, bool> enabled_;
    QString portState_ = "Closed...";
    QString statusPanel_;
    QString commandLog_;  // the log since startCommand(), its tail only
    std::vector<AddressRow> rows_;
    CommandOutcome outcome_;
    int commErrorsAtStart_ = 0;
    mutable int openAttempts_ = 0;
};

}  // namespace vrx::cli
