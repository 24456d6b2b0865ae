// Shared set-up of the window tests: one QApplication for the process, the
// loader state reset before each test, an in-memory line pair with the board's
// end open, scripted dialogs, a program folder in a temporary directory, and
// helpers to find controls by their program names.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>

#include "dialogs.h"
#include "loader_state.h"
#include "loader_window.h"
#include "memory_line.h"

namespace vrx::test {

inline QApplication& application() {
    static int argc = 1;
    static char arg0[] = "ui_test";
    static char* argv[] = {arg0, nullptr};
    static QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance())
                                   ? qobject_cast<QApplication*>(QCoreApplication::instance())
                                   : new QApplication(argc, argv);
    return *app;
}

// Turns the event loop until `done` holds or about `ms` pass.
inline bool spinUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Writes `bytes` into a new file `name` inside `dir`; returns its full path.
inline QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir + "/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) ADD_FAILURE() << "cannot write " << path.toStdString();
    file.write(bytes);
    return path;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        resetLoaderState();
        ASSERT_TRUE(folder.isValid());
        pair.boardEnd->open("board", "115200,N,8,1");
    }

    // A window whose program lives in the temporary folder; COMn maps to
    // "/dev/ttyTEST<n>".
    LoaderWindow& makeWindow(WindowSetup setup = {}) {
        setup.programPath = folder.path() + "/VRX5520_Loader";
        if (!setup.portDevice)
            setup.portDevice = [](int port) { return QString("/dev/ttyTEST%1").arg(port); };
        window = std::make_unique<LoaderWindow>(*pair.loaderEnd, dialogs, setup);
        startupBoxes = dialogs.boxes;
        dialogs.boxes.clear();
        return *window;
    }

    template <typename W = QWidget>
    W* control(const QString& name) {
        W* found = window->findChild<W*>(name);
        if (!found) ADD_FAILURE() << "no control " << name.toStdString();
        return found;
    }

    void TearDown() override {
        if (window) {
            loaderState().bBusy = false;
            window->close();
        }
        window.reset();
    }

    QTemporaryDir folder;
    MemoryLinePair pair;
    ScriptedDialogs dialogs;
    std::unique_ptr<LoaderWindow> window;
    // The boxes shown while the window started (the INI file's "No file").
    std::vector<ScriptedDialogs::Box> startupBoxes;
};

}  // namespace vrx::test
