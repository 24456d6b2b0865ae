// The simulated board as a plain terminal: echo, banner and prompt, answers to
// script commands, and answers split across two writes.
#include "sim_test_support.h"

namespace {

using simtest::BoardFixture;
using vrx::sim::Mode;
using vrx::sim::State;
using vrx::sim::TerminalConfig;

class SimTerminalTest : public BoardFixture {
  protected:
    void start(const TerminalConfig& config) {
        makeBoard(Mode::Terminal);
        board->setTerminal(config);
        board->powerCycle();
        simtest::pumpUntil([&] { return board->state() == State::Terminal; });
        settle();
    }
    static void settle() { simtest::settle(); }
};

TEST_F(SimTerminalTest, EchoesWhatItReceivesWithoutPrompt) {
    start(TerminalConfig{});
    EXPECT_EQ(loader().read(0), "") << "no banner, no prompt by default";
    send(QByteArray("ab\x00\xff", 4));
    EXPECT_EQ(expect(4), QByteArray("ab\x00\xff", 4));
    send("\r");
    EXPECT_EQ(expect(2), "\r\n");
    EXPECT_EQ(board->received(), QByteArray("ab\x00\xff\r", 5));
}

TEST_F(SimTerminalTest, AnswersLinesThenPrompts) {
    TerminalConfig config;
    config.banner = "board\r\n";
    config.prompt = "=> ";
    config.answers["help"] = "help text\r\n";
    config.answers["login"] = "login: ";
    start(config);
    EXPECT_EQ(loader().read(0), "board\r\n=> ");

    struct Case {
        QByteArray typed;
        QByteArray shown;
    };
    const Case cases[] = {
        {"help\r", "help\r\nhelp text\r\n=> "},
        {"nothing\r", "nothing\r\n=> "},
        {"\r", "\r\n=> "},
        {"hx\belp\r", "hx\belp\r\nhelp text\r\n=> "},  // the line is edited by backspace
        {"log\nin\r", "log\nin\r\nlogin: => "},        // a line feed is no part of the line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        send(c.typed);
        EXPECT_EQ(expect(c.shown.size()), c.shown);
        settle();
        EXPECT_EQ(loader().read(0), "");
    }
}

TEST_F(SimTerminalTest, NoEchoSendsOnlyTheAnswers) {
    TerminalConfig config;
    config.echo = false;
    config.prompt = "# ";
    config.answers["version"] = "1.0\r\n";
    start(config);
    loader().read(0);
    send("version\r");
    EXPECT_EQ(expect(7), "1.0\r\n# ");
}

// The second part goes out on the board's timer; the first one is on the
// line together with the echo, before the event loop runs again.
TEST_F(SimTerminalTest, SplitAnswerGoesOutInTwoWrites) {
    TerminalConfig config;
    config.echo = false;
    config.prompt = "=>";
    config.answers["ls"] = "a b\r\n";
    config.splitAnswers = true;
    config.splitDelayMs = 700;  // only ever waited for, never raced
    start(config);
    loader().read(0);
    send("ls\r");
    ASSERT_TRUE(simtest::pumpUntil([&] { return loader().bytesWaiting() > 0; }));
    const QByteArray first = loader().read(0);
    EXPECT_EQ(first, "a b");
    EXPECT_EQ(expect(4), "\r\n=>");

    config.splitAt = 6;  // right inside the prompt
    board->setTerminal(config);
    board->powerCycle();
    simtest::pumpUntil([&] { return board->state() == State::Terminal; });
    settle();
    loader().read(0);
    send("ls\r");
    ASSERT_TRUE(simtest::pumpUntil([&] { return loader().bytesWaiting() > 0; }));
    EXPECT_EQ(loader().read(0), "a b\r\n=");
    EXPECT_EQ(expect(1), ">");
}

TEST_F(SimTerminalTest, LinesAreBounded) {
    TerminalConfig config;
    config.echo = false;
    config.prompt = ">";
    start(config);
    send(QByteArray(100000, 'x') + "\r");
    EXPECT_EQ(expect(1), ">");
    EXPECT_TRUE(board->events().last().size() < 5000);
}

}  // namespace
