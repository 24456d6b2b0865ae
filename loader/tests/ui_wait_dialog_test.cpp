// frmWaitForComm, the waiting dialog: its texts and hidden debug controls, the
// ways of closing it, the debug send, Alt+B, and the boot ID wait of the link
// layer running inside it against the simulated board.
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "board.h"
#include "link.h"
#include "ui_test_support.h"
#include "wait_for_comm.h"

namespace vrx::test {
namespace {

QDialog* openWaitDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "frmWaitForComm" && w->isVisible()) return qobject_cast<QDialog*>(w);
    }
    return nullptr;
}

// A wait loop that turns the event loop until bCancel is raised (or `limitMs`).
std::function<void()> waitForCancel(int limitMs = 3000) {
    return [limitMs] { spinUntil([] { return loaderState().bCancel; }, limitMs); };
}

class WaitDialogTest : public WindowTest {};

TEST_F(WaitDialogTest, ShowsItsTextsAndKeepsTheDebugSendOutOfSight) {
    LoaderWindow& w = makeWindow();
    loaderState().bCancel = true;
    bool inspected = false;
    w.runBootIdWait([&] {
        EXPECT_FALSE(loaderState().bCancel) << "opening the dialog clears bCancel";
        QDialog* dialog = openWaitDialog();
        ASSERT_TRUE(dialog);
        inspected = true;
        EXPECT_EQ(dialog->windowTitle(), "Waiting for comm");
        EXPECT_TRUE(dialog->isModal() || dialog->windowModality() != Qt::NonModal);
        EXPECT_EQ(dialog->findChild<QLabel*>("lblMsg")->text(),
                  "Cycle power off/on on the VRX5520 demo board, \r\n"
                  "Make sure that service jumper is installed\r\n"
                  "\r\n"
                  "Waiting for Boot_ID from VRX5520....");
        EXPECT_EQ(dialog->findChild<QPushButton*>("CancelButton")->text(), "Cancel");
        auto* txtOut = dialog->findChild<QLineEdit*>("txtOut");
        auto* cmdOut = dialog->findChild<QPushButton*>("cmdOut");
        EXPECT_EQ(txtOut->text(), "4");
        EXPECT_EQ(cmdOut->text(), "Debug Send String:");
        EXPECT_GE(txtOut->y(), dialog->height());
        EXPECT_GE(cmdOut->y(), dialog->height());
    });
    EXPECT_TRUE(inspected);
    EXPECT_FALSE(loaderState().bCancel) << "a loop ending without cancel means the boot ID came";
    EXPECT_EQ(openWaitDialog(), nullptr);
}

TEST_F(WaitDialogTest, EveryWayOfClosingCancelsTheWait) {
    const std::pair<const char*, std::function<void(QDialog*)>> closers[] = {
        {"cancel button", [](QDialog* d) { d->findChild<QPushButton*>("CancelButton")->click(); }},
        {"close box", [](QDialog* d) { d->close(); }},
        {"Escape key", [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }},
    };
    LoaderWindow& w = makeWindow();
    for (const auto& [how, close] : closers) {
        SCOPED_TRACE(how);
        for (int opening = 1; opening <= 2; ++opening) {
            QTimer::singleShot(20, [&close] {
                if (QDialog* d = openWaitDialog()) close(d);
            });
            w.runBootIdWait(waitForCancel());
            EXPECT_TRUE(loaderState().bCancel) << "opening " << opening;
            EXPECT_EQ(openWaitDialog(), nullptr);
        }
    }
}

TEST_F(WaitDialogTest, DebugSendSwitchesDebugModeOnAndStillWrites) {
    LoaderWindow& w = makeWindow();
    w.link().OpenPort();
    QTimer::singleShot(20, [] {
        if (QDialog* d = openWaitDialog()) d->findChild<QPushButton*>("cmdOut")->click();
    });
    w.runBootIdWait([&] { spinUntil([&] { return !pair.boardEnd->read(0).isEmpty(); }); });
    EXPECT_TRUE(loaderState().bDebug);
    EXPECT_EQ(pair.loaderEnd->written(), QByteArray("4"));
    EXPECT_FALSE(loaderState().bCancel);
}

TEST_F(WaitDialogTest, DebugSendWithThePortClosedDoesNotEndTheWait) {
    LoaderWindow& w = makeWindow();
    QTimer::singleShot(20, [] {
        if (QDialog* d = openWaitDialog()) d->findChild<QPushButton*>("cmdOut")->click();
    });
    QTimer::singleShot(200, [] { loaderState().bCancel = true; });
    EXPECT_NO_THROW(w.runBootIdWait(waitForCancel()));
    EXPECT_TRUE(loaderState().bDebug);
}

TEST_F(WaitDialogTest, AltBResetsTheBoardAndTheBootIdEndsTheWait) {
    LoaderWindow& w = makeWindow();
    sim::Board board(*pair.boardEnd, sim::Mode::Boot);
    board.setBootNoise("~?");
    w.link().OpenPort();
    // The power-on boot ID came before the port was opened and was discarded.
    spinUntil([] { return false; }, 150);
    pair.loaderEnd->discardInput();
    const int resets = board.resetCount();

    QTimer::singleShot(30, [] {
        if (QDialog* d = openWaitDialog()) QTest::keyClick(d, Qt::Key_B, Qt::AltModifier);
    });
    QTimer::singleShot(3000, [] { loaderState().bCancel = true; });
    EXPECT_TRUE(w.link().WaitForBootId());
    EXPECT_GT(board.resetCount(), resets);
    EXPECT_EQ(w.logText(), "Waiting for BootID .. ~?5 .. found!\r\n");
    EXPECT_EQ(openWaitDialog(), nullptr);
}

TEST_F(WaitDialogTest, CancelledBootIdWaitIsLogged) {
    LoaderWindow& w = makeWindow();
    w.link().OpenPort();
    QTimer::singleShot(20, [] {
        if (QDialog* d = openWaitDialog()) d->close();
    });
    EXPECT_FALSE(w.link().WaitForBootId());
    EXPECT_TRUE(w.logText().startsWith("Waiting for BootID .. "));
    EXPECT_TRUE(w.logText().endsWith("cancelled!\r\n"));
}

}  // namespace
}  // namespace vrx::test
