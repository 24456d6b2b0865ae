// Debug mode lets a sequence's error out of its handler; the window must still
// be left as that sequence's cancel path leaves it: port closed, response
// time-out disarmed, the sequence's own start button enabled, not busy.
#include <optional>

#include "link_sequence_fixture.h"

namespace vrx::test {
namespace {

struct DebugFailureCase {
    const char* name;
    // Starts the sequence on the loader's end of the line; the line goes away
    // while it waits for an answer.
    std::function<void(Link&, MemoryLine&)> start;
    std::optional<Control> startButton;  // enabled again afterwards
    bool armsTimeout;                    // the error comes while the response time-out runs
};

class DebugRecoveryTest : public SequenceFixture,
                          public ::testing::WithParamInterface<DebugFailureCase> {};

TEST_P(DebugRecoveryTest, AnEscapingErrorLeavesTheCancelPathsState) {
    const DebugFailureCase& c = GetParam();
    board.setMode(sim::Mode::Flash);
    front.slotData[6] = {true, makeFile("fl_burn.bin", pattern(200, 3)), "0x0000", "0xC8"};
    front.slotData[5] = {true, makeFile("flash.img", pattern(300, 4)), "0x00040000", "0x12C"};
    front.slotData[2] = {true, makeFile("uboot.ubt", pattern(300, 5)), "0x80100000", "0x12C"};
    loaderState().bDebug = true;
    bool timeoutArmedAtLoss = false;
    // Once the sequence waits with its time-out armed (or at all), the adapter goes.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (c.armsTimeout && !link->timTimeOut().isActive()) return;
        timeoutArmedAtLoss = link->timTimeOut().isActive();
        boardEnd().simulateLoss();  // the loader's end learns it lost the device
        poll.stop();
    });
    poll.start(5);

    EXPECT_THROW(c.start(*link, loaderEnd()), std::exception);
    poll.stop();
    EXPECT_EQ(timeoutArmedAtLoss, c.armsTimeout);
    EXPECT_FALSE(loaderEnd().isOpen());
    EXPECT_EQ(front.portState, "Closed...");
    EXPECT_FALSE(link->timTimeOut().isActive()) << "the response time-out keeps firing";
    EXPECT_FALSE(link->timSentStatus().isActive());
    EXPECT_FALSE(link->timCommReceive().isActive());
    EXPECT_FALSE(loaderState().bBusy);
    if (c.startButton) {
        EXPECT_TRUE(front.isEnabled(*c.startButton));
    }
    EXPECT_FALSE(loaderState().bTerminalMode);
    EXPECT_NE(front.terminalCaption, "Disable Terminal mode");
    EXPECT_TRUE(front.boxes.boxes.empty()) << "debug mode leaves the message to the front end";
}

INSTANTIATE_TEST_SUITE_P(
    EverySequence, DebugRecoveryTest,
    ::testing::Values(DebugFailureCase{"PrimaryLoad",
                                       [](Link& l, MemoryLine&) { l.cmdStartPrimary_Click(); },
                                       Control::StartPrimary, true},
                      DebugFailureCase{"FlashProgramming",
                                       [](Link& l, MemoryLine&) { l.cmdPrgFlash_Click(); },
                                       Control::PrgFlash, true},
                      DebugFailureCase{"ImageDownload",
                                       [](Link& l, MemoryLine&) {
                                           l.OpenPort();
                                           l.cmdURK_Click();
                                       },
                                       Control::StartPrimary, true},
                      DebugFailureCase{"TerminalMode",
                                       [](Link& l, MemoryLine& line) {
                                           line.setRefusedDevices({"/dev/ttyFAKE1"});
                                           l.cmdTerminal_Click();
                                       },
                                       std::nullopt, false}),
    [](const ::testing::TestParamInfo<DebugFailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vrx::test
