// vrxload's console pieces that need an event loop or a file: --wait against
// a clock the test moves, the failing step, how standard error lines start,
// and the ports listing.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "cli_options.h"
#include "console_front.h"
#include "line_trace.h"
#include "loader_state.h"
#include "port_listing.h"
#include "port_map.h"
#include "wait_limit.h"

namespace vrx::cli {
namespace {

// Safety net only: a wait that never ends fails the test instead of hanging it.
constexpr qint64 kSafetyMs = 10000;

class WaitLimitTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "cli_wait_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) static QCoreApplication app(argc, argv);
    }

    void SetUp() override { loaderState().bCancel = false; }

    // Runs the event loop until bCancel or the safety net; the fake clock
    // moves `stepMs` each time the limit looks at it.
    bool runUntilCancel() {
        QElapsedTimer safety;
        safety.start();
        while (!loaderState().bCancel && safety.elapsed() < kSafetyMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return loaderState().bCancel;
    }

    qint64 now = 1000000;
    qint64 stepMs = 0;
    WaitLimit::Clock clock = [this] {
        now += stepMs;
        return now;
    };
};

TEST_F(WaitLimitTest, EndsTheWaitOnlyOnceTheBoundHasPassed) {
    WaitLimit limit(30, clock);
    limit.arm();
    // Time stands still: the limit looks several times and lets the wait go on.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 200);
    EXPECT_FALSE(loaderState().bCancel);
    now += 29999;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 200);
    EXPECT_FALSE(loaderState().bCancel) << "one millisecond early";
    now += 1;
    EXPECT_TRUE(runUntilCancel());
    EXPECT_TRUE(limit.disarm());
}

TEST_F(WaitLimitTest, EachArmStartsAFreshBound) {
    WaitLimit limit(5, clock);
    limit.arm();
    now += 4000;
    EXPECT_FALSE(limit.disarm());
    limit.arm();
    now += 4000;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 200);
    EXPECT_FALSE(loaderState().bCancel) << "the first wait's time counted against the second";
    now += 1000;
    EXPECT_TRUE(runUntilCancel());
}

TEST_F(WaitLimitTest, UnboundedNeverFires) {
    WaitLimit limit(std::nullopt, clock);
    stepMs = 1000LL * kMaxWaitSeconds;
    limit.arm();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 200);
    EXPECT_FALSE(loaderState().bCancel);
    EXPECT_FALSE(limit.disarm());
}

TEST_F(WaitLimitTest, BootIdWaitNamesTheDeviceAndTheBound) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
    ConsoleOutput console(out.get(), err.get(), false);
    ConsoleDialogs dialogs(console, false);
    SlotModel slotModel;
    ConsoleFront front(slotModel, console, dialogs, 1, [](int) { return QString("/dev/ttyUSB7"); });
    WaitLimit limit(30, clock);
    front.setWaitLimit(&limit);
    stepMs = 1000;
    front.runBootIdWait([this] { runUntilCancel(); });
    EXPECT_TRUE(loaderState().bCancel);
    QByteArray text(4096, '\0');
    std::rewind(err.get());
    text.resize(qsizetype(std::fread(text.data(), 1, size_t(text.size()), err.get())));
    EXPECT_TRUE(
        text.contains("vrxload: no boot ID from /dev/ttyUSB7 within 30 s (is the board "
                      "powered, the service jumper fitted, the right port chosen?)\n"))
        << text.toStdString();
}

TEST(CliWaitOption, ParsesWholeSecondsAndRefusesTheRest) {
    struct Case {
        QStringList args;
        std::optional<int> seconds;  // nothing: a usage error
    };
    const Case cases[] = {
        {{"--wait", "30", "primary"}, 30},
        {{"--wait=5", "primary"}, 5},
        {{"primary"}, std::nullopt},
        {{"--wait", "0", "primary"}, std::nullopt},
        {{"--wait", "-3", "primary"}, std::nullopt},
        {{"--wait", "1.5", "primary"}, std::nullopt},
        {{"--wait", "soon", "primary"}, std::nullopt},
        {{"--wait", "86401", "primary"}, std::nullopt},
        {{"primary", "--wait"}, std::nullopt},
    };
    for (const Case& c : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(c.args);
        const std::string name = c.args.join(' ').toStdString();
        if (c.args == QStringList{"primary"}) {
            ASSERT_TRUE(parsed.options) << name;
            EXPECT_FALSE(parsed.options->waitSeconds) << name;
        } else if (c.seconds) {
            ASSERT_TRUE(parsed.options) << name << ": " << parsed.error.toStdString();
            EXPECT_EQ(parsed.options->waitSeconds, c.seconds) << name;
        } else {
            EXPECT_FALSE(parsed.options) << name;
            EXPECT_TRUE(parsed.error.startsWith("--wait")) << name;
        }
    }
}

TEST(ConsoleFrontFailingStep, IsTheLastLogLineBeforeTheCancelLine) {
    struct Case {
        const char* name;
        std::vector<std::pair<QString, int>> writes;  // text, characters taken back first
        const char* step;
    };
    const QString cancel = "\r\n--- Cancel download, closing port ---\r\n";
    const Case cases[] = {
        {"wrong answer to U3",
         {{"Expect 'R' .. ", 0},
          {"r", 0},
          {"invalid character received! Cancelling.\r\n", 0},
          {cancel, 0}},
         "Expect 'R' .. rinvalid character received! Cancelling."},
        {"cancelled boot ID wait",
         {{"Waiting for BootID .. ", 0},
          {QString(QChar(0)), 0},
          {"cancelled!\r\n", 0},
          {cancel, 0}},
         "Waiting for BootID .. \u2400cancelled!"},
        {"no cancel line: the last line written",
         {{"Sending code .. done!\r\n", 0}, {"\r\n", 0}},
         "Sending code .. done!"},
        {"a taken-back character is gone", {{"Progress 10%", 0}, {"20%", 3}}, "Progress 20%"},
        {"nothing logged", {}, ""},
    };
    for (const Case& c : cases) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
        ConsoleOutput console(out.get(), out.get(), true);
        ConsoleDialogs dialogs(console, false);
        SlotModel slotModel;
        ConsoleFront front(slotModel, console, dialogs, 1, {});
        front.writeLog("from an earlier command\r\n");
        front.startCommand();
        for (const auto& [text, back] : c.writes) front.writeLog(text, back);
        EXPECT_EQ(front.failingStep(), QString::fromUtf8(c.step)) << c.name;
    }
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

QByteArray contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    QByteArray text;
    char buffer[1024];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, qsizetype(n));
    return text;
}

TEST(ConsoleOutputLines, StandardErrorStartsALineOfItsOwnOnASharedScreen) {
    struct Case {
        const char* name;
        bool outIsTerminal;
        bool errIsTerminal;
        const char* err;
    };
    const Case cases[] = {
        {"both on the screen", true, true, "\nCycle power\nvrxload: x\n"},
        {"log to a file", false, true, "Cycle power\nvrxload: x\n"},
        {"notices to a file", true, false, "Cycle power\nvrxload: x\n"},
    };
    for (const Case& c : cases) {
        File out(std::tmpfile(), &std::fclose);
        File err(std::tmpfile(), &std::fclose);
        ConsoleOutput console(out.get(), err.get(), false, c.outIsTerminal, c.errIsTerminal);
        console.log("Waiting for BootID .. ", 0);
        console.notice("Cycle power");
        console.diagnostic("x");
        EXPECT_EQ(contents(err.get()), c.err) << c.name;
        EXPECT_EQ(contents(out.get()), "Waiting for BootID .. ") << c.name;
    }
}

TEST(ConsoleOutputLines, ATakenBackCharacterIsBlankedInAFileToo) {
    for (const bool terminal : {false, true}) {
        File out(std::tmpfile(), &std::fclose);
        File err(std::tmpfile(), &std::fclose);
        ConsoleOutput console(out.get(), err.get(), false, terminal, false);
        console.log("abc", 0);
        console.log("X", 1);
        EXPECT_EQ(contents(out.get()), "abc\b \bX") << (terminal ? "screen" : "file");
    }
}

TEST(CliOptionsHelp, ShortHAsksForHelp) {
    const auto parsed = ParseCommandLine({"-h"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    EXPECT_TRUE(parsed.options->help);
    EXPECT_FALSE(ParseCommandLine({"--", "-h"}).options) << "after -- it is a command word";
}

TEST(PortListingText, EveryComPortThenEveryDeviceWithWhatIdentifiesIt) {
    const PortMap map({{1, "/dev/ttyUSB1"}, {3, "/dev/ttyACM0"}}, {});
    const std::vector<SerialDeviceInfo> devices = {
        {"/dev/ttyUSB1", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1234567-if00-port0",
         "FT232R USB UART", "FTDI", "A1234567", "0403:6001"},
        {"/dev/ttyS0", "", "", "", "", ""},
    };
    const QString text = PortListing(map, "[PORTS] in /x/loader.ini", devices);
    EXPECT_EQ(text,
              "Ports ([PORTS] in /x/loader.ini):\n"
              "  COM1:  /dev/ttyUSB1\n"
              "  COM2:  (none)\n"
              "  COM3:  /dev/ttyACM0\n"
              "  COM4:  (none)\n"
              "  COM5:  (none)\n"
              "  COM6:  (none)\n"
              "  COM7:  (none)\n"
              "  COM8:  (none)\n"
              "\n"
              "Serial devices present:\n"
              "  /dev/ttyUSB1\n"
              "    by-id         /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1234567-if00-port0\n"
              "    description   FT232R USB UART\n"
              "    manufacturer  FTDI\n"
              "    serial        A1234567\n"
              "    VID:PID       0403:6001\n"
              "  /dev/ttyS0\n");
    EXPECT_TRUE(
        PortListing(PortMap({}, {}), "x", {}).endsWith("Serial devices present:\n  (none)\n"));
}

TEST(PortListingText, PortsIsACommand) {
    const auto parsed = ParseCommandLine({"ports"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options->commands.at(0).kind, CommandKind::Ports);
}

TEST(LineTraceText, TimeDirectionHexAndAsciiSixteenBytesALine) {
    struct Case {
        const char* name;
        qint64 ms;
        TraceDirection direction;
        QByteArray bytes;
        QString lines;
    };
    const QString pad(3 * 13, ' ');
    const Case cases[] = {
        {"boot handshake", 12345, TraceDirection::Sent, "AU3",
         "    12.345 TX  41 55 33" + pad + "  |AU3|\n"},
        {"control bytes show as dots", 7, TraceDirection::Received, QByteArray("5\r\n\0\xff", 5),
         "     0.007 RX  35 0d 0a 00 ff" + QString(3 * 11, ' ') + "  |5....|\n"},
        {"seventeen bytes take two lines", 1000, TraceDirection::Sent, "0123456789abcdefg",
         "     1.000 TX  30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
         "     1.000 TX  67" +
             QString(3 * 15, ' ') + "  |g|\n"},
        {"nothing", 0, TraceDirection::Received, "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TraceLines(c.ms, c.direction, c.bytes), c.lines) << c.name;
}

TEST(LineTraceText, TimesCountFromTheStartOfTheTrace) {
    QByteArray text;
    QBuffer buffer(&text);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    qint64 now = 5000000;
    LineTrace trace(buffer, [&now] { return now; });
    trace.note("open /dev/ttyUSB0 115200,N,8,1");
    now += 1500;
    trace.bytes(TraceDirection::Received, "5");
    EXPECT_EQ(text,
              "     0.000 -- open /dev/ttyUSB0 115200,N,8,1\n"
              "     1.500 RX  35" +
                  QByteArray(3 * 15, ' ') + "  |5|\n");
}

}  // namespace
}  // namespace vrx::cli
