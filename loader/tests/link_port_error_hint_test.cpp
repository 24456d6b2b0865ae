// The hint a port that would not open adds to the system's words: the group
// and both ways in for a permission problem, ModemManager for a busy ttyACM
// device, nothing where the system's words say it all.
#include <gtest/gtest.h>

#include "port_error_hint.h"

namespace vrx {
namespace {

TEST(PortOpenHint, NamesTheDeviceTheGroupAndTheWayIn) {
    struct Case {
        const char* name;
        PortOpenFacts facts;
        std::vector<const char*> says;
        std::vector<const char*> saysNot;
    };
    const Case cases[] = {
        {"not in the owning group",
         {"/dev/ttyUSB0", PortOpenCause::AccessDenied, "dialout", false},
         {"/dev/ttyUSB0 belongs to the group dialout", "sudo usermod -aG dialout $USER",
          "log out and in again", "udev rule", kUdevRulePath},
         {"ModemManager"}},
        {"another owning group",
         {"/dev/ttyACM1", PortOpenCause::AccessDenied, "uucp", false},
         {"group uucp", "sudo usermod -aG uucp $USER"},
         {"dialout"}},
        {"joined the group after logging in",
         {"/dev/ttyUSB0", PortOpenCause::AccessDenied, "dialout", true},
         {"/dev/ttyUSB0", "dialout", "log out and in again"},
         {"usermod"}},
        {"no group may open it",
         {"/dev/ttyS0", PortOpenCause::AccessDenied, "", false},
         {"/dev/ttyS0 may be opened by its owner only", kUdevRulePath},
         {"usermod"}},
        {"busy ttyACM",
         {"/dev/ttyACM0", PortOpenCause::Busy, "", false},
         {"/dev/ttyACM0 is in use", "ModemManager"},
         {"usermod"}},
        {"busy ttyUSB",
         {"/dev/ttyUSB3", PortOpenCause::Busy, "", false},
         {"/dev/ttyUSB3 is in use by another program"},
         {"ModemManager", "usermod"}},
    };
    for (const Case& c : cases) {
        const QString hint = PortOpenHint(c.facts);
        EXPECT_TRUE(hint.startsWith('\n')) << c.name << ": the hint starts a line of its own";
        for (const char* text : c.says)
            EXPECT_TRUE(hint.contains(QLatin1String(text))) << c.name << ": " << text;
        for (const char* text : c.saysNot)
            EXPECT_FALSE(hint.contains(QLatin1String(text))) << c.name << ": " << text;
    }
}

TEST(PortOpenHint, NoHintWhereTheSystemsWordsSayItAll) {
    EXPECT_EQ(PortOpenHint({"/nonexistent/ttyUSB0", PortOpenCause::Other, "", false}), "");
}

TEST(PortOpenHint, AMissingDeviceIsNoPermissionProblem) {
    const PortOpenFacts facts =
        InspectPortOpenFailure("/nonexistent/ttyUSB0", QSerialPort::DeviceNotFoundError);
    EXPECT_EQ(facts.cause, PortOpenCause::Other);
    EXPECT_EQ(facts.device, "/nonexistent/ttyUSB0");
}

}  // namespace
}  // namespace vrx
