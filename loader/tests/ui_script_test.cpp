// Scripts run from the window's menu against the simulated board's terminal:
// bytes on the line and the summary for a table of scripts, cancel, the quiet
// error exits and the line counter's limit.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "board.h"
#include "link.h"
#include "ui_test_support.h"

namespace vrx::test {
namespace {

class ScriptTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        board = std::make_unique<sim::Board>(*pair.boardEnd, sim::Mode::Terminal);
    }
    void TearDown() override {
        WindowTest::TearDown();
        board.reset();
    }

    void configure(const sim::TerminalConfig& config) {
        board->setTerminal(config);
        board->powerCycle();
        spinUntil([&] { return board->state() == sim::State::Terminal; });
    }

    // Switches terminal mode on (opening the port) and forgets what went so far.
    void enterTerminalMode() {
        control<QPushButton>("cmdTerminal")->click();
        ASSERT_TRUE(loaderState().bTerminalMode);
        ASSERT_TRUE(window->findChild<QAction*>("mnuExecScript")->isEnabled());
        spinUntil([] { return false; }, 100);
        pair.loaderEnd->clearWritten();
    }

    QString runScript(const QByteArray& text) {
        dialogs.fileAnswers.push_back(writeFile(folder.path(), "test.scr", text));
        pair.loaderEnd->clearWritten();
        QAction* menu = window->findChild<QAction*>("mnuExecScript");
        EXPECT_TRUE(menu->isEnabled());
        menu->trigger();
        EXPECT_TRUE(menu->isEnabled());
        EXPECT_FALSE(loaderState().bBusy);
        return window->findChild<QLabel*>("staStatus.Panels(1)")->text();
    }

    std::unique_ptr<sim::Board> board;
};

struct ScriptCase {
    const char* name;
    QByteArray script;
    QByteArray sent;
    const char* summary;
};

TEST_F(ScriptTest, ScriptsSendTheirLinesAndWaitForTheTarget) {
    sim::TerminalConfig config;
    config.echo = false;
    config.prompt = "=> ";
    config.answers = {{"help", "commands: help version\r\n"}};
    configure(config);
    makeWindow();
    enterTerminalMode();

    const ScriptCase cases[] = {
        {"comments only", "; one\r\n\r\nplain text\r\n", "", "3 script lines executed."},
        {"send, wait for the prompt, send", ">help/n\r\n<=>\r\n>version/n\r\n", "help\rversion\r",
         "3 script lines executed."},
        {"an empty wait ends at once", "<\r\n>x", "x", "2 script lines executed."},
        {"/n is a CR, nothing is appended", ">reset/n/n\r\n", "reset\r\r",
         "1 script lines executed."},
        {"a blank before > makes a comment", " >no\r\n>yes\r", "yes", "2 script lines executed."},
        {"lone CR ends a line", ">a\r>b\r", "ab", "2 script lines executed."},
        {"lone LF ends a line too", ">a\n>b\n", "ab", "2 script lines executed."},
        {"LF then a wait", ">help/n\n<=>\n>version/n\n", "help\rversion\r",
         "3 script lines executed."},
        {"CR LF is one line end, not two", ">a\r\n\r\n>b", "ab", "3 script lines executed."},
        {"LF CR is two line ends", ">a\n\r>b", "ab", "3 script lines executed."},
        {"mixed ends in one file", ">a\r>b\n>c\r\n>d", "abcd", "4 script lines executed."},
        {"empty file", "", "", "0 script lines executed."},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runScript(c.script), c.summary);
        EXPECT_EQ(pair.loaderEnd->written(), c.sent);
    }
    const FileDialogRequest& request = dialogs.fileRequests.back();
    EXPECT_EQ(request.title, "Open script file");
    EXPECT_EQ(request.filter, "Script Files (.scr)|*.scr|All Files (*.*)|*.*|");
    EXPECT_EQ(request.filterIndex, 0);
    EXPECT_EQ(request.initialDir, folder.path());
}

TEST_F(ScriptTest, DebugModeStillSends) {
    configure({});
    makeWindow();
    enterTerminalMode();
    loaderState().bDebug = true;
    EXPECT_EQ(runScript(">go/n"), "1 script lines executed.");
    EXPECT_EQ(pair.loaderEnd->written(), "go\r");
}

TEST_F(ScriptTest, WaitsThatNeverEndAreCancelled) {
    struct Case {
        const char* name;
        bool split;
        const char* answer;
        const char* awaited;
    } cases[] = {
        {"the wait is case-sensitive", false, "login:", "Login:"},
        {"a text split over two reads is not recognised", true, "login:", "login:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::TerminalConfig config;
        config.echo = false;
        config.answers = {{"hello", c.answer}};
        config.splitAnswers = c.split;
        configure(config);
        resetLoaderState();
        window.reset();
        makeWindow();
        enterTerminalMode();
        QTimer::singleShot(1500, [this] { control<QPushButton>("cmdCancel")->click(); });
        const QByteArray script = QByteArray(">hello/n\r\n<") + c.awaited + "\r\n>after/n\r\n";
        EXPECT_EQ(runScript(script), "2 script lines executed.");
        EXPECT_EQ(pair.loaderEnd->written(), "hello\r");
        EXPECT_TRUE(loaderState().bCancel);
        EXPECT_TRUE(pair.loaderEnd->isOpen()) << "cancelling a script leaves the port open";
    }
}

TEST_F(ScriptTest, ClosedPortEndsTheRunQuietly) {
    LoaderWindow& w = makeWindow();
    dialogs.fileAnswers.push_back(writeFile(folder.path(), "t.scr", "; c\r\n>a/n\r\n>b/n\r\n"));
    w.mnuExecScript_Click();
    EXPECT_EQ(control<QLabel>("staStatus.Panels(1)")->text(), "2 script lines executed.");
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_TRUE(w.findChild<QAction*>("mnuExecScript")->isEnabled());
}

TEST_F(ScriptTest, MissingFileOrCancelledDialog) {
    LoaderWindow& w = makeWindow();
    dialogs.fileAnswers.push_back(std::nullopt);
    w.mnuExecScript_Click();
    EXPECT_EQ(control<QLabel>("staStatus.Panels(1)")->text(), "");
    EXPECT_FALSE(w.findChild<QAction*>("mnuExecScript")->isEnabled());

    dialogs.fileAnswers.push_back(folder.path() + "/missing.scr");
    w.mnuExecScript_Click();
    EXPECT_EQ(control<QLabel>("staStatus.Panels(1)")->text(), "0 script lines executed.");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ScriptTest, TheLineCounterEndsTheRunAt32767Lines) {
    configure({});
    makeWindow();
    enterTerminalMode();
    QByteArray script;
    for (int i = 0; i < 40000; ++i) script += "; comment\r\n";
    script += ">never/n\r\n";
    EXPECT_EQ(runScript(script), "32767 script lines executed.");
    EXPECT_TRUE(pair.loaderEnd->written().isEmpty());
}

TEST_F(ScriptTest, BinaryGarbageIsReadAsLinesAndNeverHangs) {
    configure({});
    makeWindow();
    enterTerminalMode();
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage += char((i * 37 + 11) % 256);
    garbage.replace('<', '#');  // a wait for garbage would only end by cancel
    const QString summary = runScript(garbage);
    EXPECT_TRUE(summary.endsWith(" script lines executed.")) << summary.toStdString();
}

}  // namespace
}  // namespace vrx::test
