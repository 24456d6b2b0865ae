// A LoaderFront for the loader benchmarks: slots as plain fields, a log that
// is counted rather than kept, and dialogs that answer No.
#pragma once

#include <array>

#include "dialogs.h"
#include "loader_front.h"
#include "loader_state.h"

namespace vrx::bench {

class BenchFront : public LoaderFront {
  public:
    struct Slot {
        bool ticked = false;
        QString path;
        QString address = "0x0";
        QString size;
    };

    bool slotTicked(int s) const override { return slotData.at(s).ticked; }
    QString slotPath(int s) const override { return slotData.at(s).path; }
    QString slotAddress(int s) const override { return slotData.at(s).address; }
    QString slotSize(int s) const override { return slotData.at(s).size; }
    bool fullErase() const override { return false; }
    int selectedPort() const override { return 1; }
    QString deviceForPort(int) const override { return device; }
    void writeLog(const QString& text, int) override { logChars += text.size(); }
    int logLength() const override { return int(logChars); }
    void focusLog() override {}
    void setControlEnabled(Control, bool) override {}
    void setTerminalCaption(const QString&) override {}
    void setPortState(const QString&) override {}
    void setStatusPanel(const QString&) override {}
    void setProgress(float) override {}
    Dialogs& dialogs() override { return boxes; }
    bool checkAddresses() override { return true; }
    void runBootIdWait(const std::function<void()>& waitLoop) override { waitLoop(); }

    std::array<Slot, kSlotCount> slotData;
    QString device = "/dev/memory";
    qsizetype logChars = 0;
    ScriptedDialogs boxes;
};

}  // namespace vrx::bench
