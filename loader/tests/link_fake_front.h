// A LoaderFront without widgets for the link layer's tests: slot are plain
// fields, the log is a string, button states and captions are recorded, and
// dialogs are scripted. Plus a fixture that owns the application object, a
// memory line pair and a Link wired to them.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <ostream>

#include "link.h"
#include "loader_state.h"
#include "memory_line.h"

// Readable strings in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace vrx::test {

struct FakeSlot {
    bool ticked = false;
    QString path;
    QString address = "0x0";
    QString size;
};

class FakeFront : public LoaderFront {
  public:
    bool slotTicked(int s) const override { return slotData.at(s).ticked; }
    QString slotPath(int s) const override { return slotData.at(s).path; }
    QString slotAddress(int s) const override { return slotData.at(s).address; }
    QString slotSize(int s) const override { return slotData.at(s).size; }
    bool fullErase() const override { return erase; }
    int selectedPort() const override { return port; }
    QString deviceForPort(int p) const override { return QString("/dev/ttyFAKE%1").arg(p); }

    void writeLog(const QString& text, int replaceLast) override {
        log.chop(std::min<qsizetype>(replaceLast, log.size()));
        log += text;
    }
    int logLength() const override { return int(log.size()); }
    void focusLog() override { ++focusCount; }

    void setControlEnabled(Control control, bool on) override { enabled[control] = on; }
    void setTerminalCaption(const QString& caption) override { terminalCaption = caption; }
    void setPortState(const QString& text) override { portState = text; }
    void setStatusPanel(const QString& text) override { statusPanel = text; }
    void setProgress(float percent) override { progress = percent; }

    Dialogs& dialogs() override { return boxes; }
    bool checkAddresses() override {
        ++addressChecks;
        return addressesOk;
    }
    void runBootIdWait(const std::function<void()>& waitLoop) override {
        ++bootIdWaits;
        if (beforeBootIdWait) beforeBootIdWait();
        waitLoop();
    }

    bool isEnabled(Control c) const {
        auto it = enabled.find(c);
        return it != enabled.end() && it->second;
    }

    std::array<FakeSlot, kSlotCount> slotData;  // by slot number
    bool erase = false;
    int port = 1;
    QString log;
    int focusCount = 0;
    std::map<Control, bool> enabled;
    QString terminalCaption;
    QString portState = "Closed...";
    QString statusPanel;
    float progress = -1;
    ScriptedDialogs boxes;
    bool addressesOk = true;
    int addressChecks = 0;
    int bootIdWaits = 0;
    std::function<void()> beforeBootIdWait;
};

// The log as the tests read it: CR LF as "\n".
inline QString lines(const QString& log) {
    QString out = log;
    out.replace("\r\n", "\n");
    return out;
}

inline void ensureApp() {
    static int argc = 1;
    static char arg0[] = "link_test";
    static char* argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// Runs the event loop until `done` holds or `limitMs` passed (a safety net
// against a hang, not a timing assertion).
inline bool spinUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class LinkFixture : public ::testing::Test {
  protected:
    LinkFixture() {
        ensureApp();
        freshLoaderState();
        pair.boardEnd->open("board", kLineSettings);
        link = std::make_unique<Link>(*pair.loaderEnd, front);
    }
    ~LinkFixture() override {
        link.reset();
        resetLoaderState();
    }

  public:
    // A fresh state with the slot names the window gives it at start.
    static void freshLoaderState() {
        resetLoaderState();
        loaderState().sSlotName = {"",
                                   "Secondary Executable",
                                   "UBoot image",
                                   "Root FS image",
                                   "Kernel image",
                                   "UBoot marker (0x80000000)",
                                   "UBoot marker (0x82000000)",
                                   "maximum address"};
    }

  protected:
    MemoryLine& loaderEnd() { return *pair.loaderEnd; }
    MemoryLine& boardEnd() { return *pair.boardEnd; }
    QByteArray boardReceived() { return boardEnd().read(0); }

    FakeFront front;
    MemoryLinePair pair;
    std::unique_ptr<Link> link;
};

}  // namespace vrx::test
