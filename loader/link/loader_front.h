// What the sequences of the link layer need from whoever presents them: the
// main window, or the command-line front end. The sequences reach the image
// slots, the status log, the port choice, button states, progress, message boxes
// and the waiting dialog only through this interface, so the same sequence code
// runs with and without a window.
//
// Slot data is never copied: every getter reads the slot's controls at the time
// of the call (a user may edit an address while a sequence runs).
#pragma once

#include <QString>
#include <functional>

#include "dialogs.h"

namespace vrx {

// Controls whose enabled state the sequences change.
enum class Control {
    StartPrimary,    // cmdStartPrimary
    StartSecondary,  // cmdStartSecondary
    URK,             // cmdURK
    PrgFlash,        // cmdPrgFlash
    ComPort,         // cmbComPort
    ExecScript,      // mnuExecScript
};

class LoaderFront {
  public:
    virtual ~LoaderFront() = default;

    // --- image slots 0..6 ---
    virtual bool slotTicked(int slot) const = 0;      // chkExeURK(slot)
    virtual QString slotPath(int slot) const = 0;     // txtFilNam(slot).Tag, "" when no file
    virtual QString slotAddress(int slot) const = 0;  // txtStartAddress(slot)
    virtual QString slotSize(int slot) const = 0;     // lblCodeSize(slot)
    virtual bool fullErase() const = 0;               // chkErase

    // --- serial port choice ---
    virtual int selectedPort() const = 0;               // item data of cmbComPort, 1..8
    virtual QString deviceForPort(int port) const = 0;  // the device COMn maps to
    // How errors name the port: "COMn", or the device a front end was told
    // to use instead (vrxload --port /dev/ttyUSB0).
    virtual QString portName(int port) const { return QString("COM%1").arg(port); }

    // --- status log (txtStatus) ---
    // Replaces the last `replaceLast` characters of the log (0 or 1) with
    // `text`, which already carries CR LF line breaks, and leaves the caret at
    // the end. Plain appending is replaceLast == 0.
    virtual void writeLog(const QString& text, int replaceLast = 0) = 0;
    virtual int logLength() const = 0;
    virtual void focusLog() = 0;

    // --- display of state and progress ---
    virtual void setControlEnabled(Control control, bool enabled) = 0;
    virtual void setTerminalCaption(const QString& caption) = 0;  // cmdTerminal
    virtual void setPortState(const QString& text) = 0;           // lblState
    virtual void setStatusPanel(const QString& text) = 0;         // second panel of staStatus
    virtual void setProgress(float percent) = 0;                  // pgbDownload, 0..100

    // --- dialogs ---
    virtual Dialogs& dialogs() = 0;
    // The address check that guards the downloads: fills the address table and
    // shows one box per problem. True when every address is usable.
    virtual bool checkAddresses() = 0;
    // Shows the waiting dialog modally (the window) or its instruction text
    // (console) and runs `waitLoop`, which returns when the boot ID arrived or a
    // cancel was requested. Returns once the dialog has closed. A dialog closed
    // by the user before the boot ID arrived sets bCancel.
    virtual void runBootIdWait(const std::function<void()>& waitLoop) = 0;
};

}  // namespace vrx
