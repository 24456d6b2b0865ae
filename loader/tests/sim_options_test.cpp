// vrx-board-sim's command line: texts with escapes, fault steps and their
// answers, and what the options do to a board.
#include "sim_options.h"

#include "sim_test_support.h"

namespace {

using vrx::sim::kAckNak;
using vrx::sim::kAckZeroTrailer;
using vrx::sim::Mode;
using vrx::sim::parseSimOptions;
using vrx::sim::SimOptions;
using vrx::sim::Step;
using vrx::sim::unescapeOption;

SimOptions parse(const QStringList& args) {
    const auto result = parseSimOptions(QStringList{"vrx-board-sim"} + args);
    EXPECT_TRUE(result.options.has_value()) << result.message.toStdString();
    return result.options.value_or(SimOptions{});
}

TEST(SimOptionsTest, EscapesInTexts) {
    const std::pair<const char*, QByteArray> cases[] = {
        {"plain", "plain"},
        {"a\\r\\nb", "a\r\nb"},
        {"\\x02\\x00\\xfF", QByteArray("\x02\x00\xff", 3)},
        {"\\\\x41", "\\x41"},
        {"\\e[0m", "\x1b[0m"},
        {"end\\", "end\\"},  // a lone backslash at the end stays
        {"\\xZ1", "\\xZ1"},  // not hex: kept as written
        {"\\x4", "\\x4"},    // one digit only: kept as written
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(unescapeOption(text), bytes) << text;
    }
}

TEST(SimOptionsTest, FaultsFromTheirOptions) {
    const SimOptions o =
        parse({"--refuse", "uk", "--fault", "ready=r", "--fault", "done:p=T", "--fault",
               "data-ack=nak", "--fault", "header-ack=zero-trailer", "--silent-at", "flash-wake"});
    struct Want {
        Step step;
        char command;
        QByteArray answer;
    };
    const Want wanted[] = {
        {Step::Accept, 'u', "E"},    {Step::Accept, 'k', "E"},
        {Step::BootReady, 0, "r"},   {Step::Done, 'p', "T"},
        {Step::DataAck, 0, kAckNak}, {Step::HeaderAck, 0, kAckZeroTrailer},
        {Step::FlashWake, 0, ""},
    };
    ASSERT_EQ(o.faults.size(), std::size(wanted));
    for (size_t i = 0; i < std::size(wanted); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(o.faults[i].step, wanted[i].step);
        EXPECT_EQ(o.faults[i].command, wanted[i].command);
        EXPECT_EQ(o.faults[i].answer, wanted[i].answer);
    }
}

TEST(SimOptionsTest, DefaultsAndTerminalOptions) {
    const SimOptions d = parse({});
    EXPECT_EQ(d.mode, Mode::Auto);
    EXPECT_TRUE(d.resetOnOpen);
    EXPECT_EQ(d.terminal.prompt, "=> ");
    EXPECT_EQ(d.secondary.prompt, "login: ");

    const SimOptions o =
        parse({"--mode", "terminal", "--prompt", "# ", "--answer", "ls=a b\\r\\n", "--split",
               "--split-at", "3", "--no-echo", "--version-text", "", "--no-reset-on-open",
               "--reset-delay", "0", "--erase-delay", "2500"});
    EXPECT_EQ(o.mode, Mode::Terminal);
    for (const auto* t : {&o.terminal, &o.secondary}) {
        EXPECT_EQ(t->prompt, "# ");
        EXPECT_EQ(t->answers.at("ls"), "a b\r\n");
        EXPECT_TRUE(t->splitAnswers);
        EXPECT_EQ(t->splitAt, 3);
        EXPECT_FALSE(t->echo);
    }
    EXPECT_EQ(o.versionText, "") << "an empty version text gives the 9-byte frame";
    EXPECT_FALSE(o.resetOnOpen);
    EXPECT_EQ(o.resetDelayMs, 0);
    EXPECT_EQ(o.eraseDelayMs, 2500);
}

TEST(SimOptionsTest, AppliedOptionsShapeTheBoard) {
    simtest::ensureApp();
    vrx::MemoryLinePair pair;
    pair.loaderEnd->open("/dev/sim", "115200,N,8,1");
    vrx::sim::Board board(*pair.boardEnd, Mode::Boot);
    vrx::sim::applySimOptions(
        parse({"--mode", "terminal", "--banner", "hi\\r\\n", "--prompt", "$ "}), board);
    board.powerCycle();
    ASSERT_TRUE(simtest::pumpUntil([&] { return pair.loaderEnd->bytesWaiting() >= 6; }));
    EXPECT_EQ(pair.loaderEnd->read(0), "hi\r\n$ ");
    EXPECT_EQ(board.mode(), Mode::Terminal);
}

}  // namespace
