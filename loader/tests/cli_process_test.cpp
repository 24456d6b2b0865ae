// vrxload as a process against vrx-board-sim on a pseudo-terminal: the status
// log on standard output equals the window's log for the same run, boxes and
// diagnostics on standard error, and the exit status of every outcome.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <csignal>
#include <memory>

#include "link_sequence_fixture.h"

namespace vrx::test {
namespace {

constexpr int kRunLimitMs = 30000;

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The waiting dialog's instruction text as vrxload prints it.
const QString kWaitText =
    "Cycle power off/on on the VRX5520 demo board, \n"
    "Make sure that service jumper is installed\n"
    "\n"
    "Waiting for Boot_ID from VRX5520....\n";

class VrxloadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "cli_process_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) static QCoreApplication app(argc, argv);
    }

    VrxloadTest() {
        // Relative names: they must resolve against the INI file's folder.
        writeFile("primary.bin", pattern(300, 1));
        writeFile("secondary.bin", pattern(1000, 2));
        writeFile("uboot.ubt", pattern(700, 3));
        writeFile("flash.bin", pattern(100, 4));
        writeFile("fl_burn.bin", "fl_burn (test)\n" + pattern(200, 5));
        writeFile("loader.ini",
                  "[BINFILES]\n"
                  "PRIMARY=primary.bin,0x0\n"
                  "SECONDARY=secondary.bin,0x80000004\n"
                  "FLASH=flash.bin,0x00040000\n"
                  "FL_BURN=fl_burn.bin,0x0\n"
                  "[IMGFILES]\n"
                  "UBOOT=uboot.ubt,0x80100000\n");
    }

    ~VrxloadTest() override {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(5000)) sim.kill();
        }
    }

    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QString ini() const { return dir.filePath("loader.ini"); }

    // Starts the simulated board; its first output line is the device path.
    void startSim(const QStringList& args = {}) { pty = startSimOn(sim, args); }

    static QString startSimOn(QProcess& process, const QStringList& args) {
        process.start(SIM_PROGRAM, QStringList{"--verbose"} + args);
        EXPECT_TRUE(process.waitForStarted(5000));
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < 10000) process.waitForReadyRead(100);
        const QString device = QString::fromLocal8Bit(process.readLine()).trimmed();
        EXPECT_TRUE(device.startsWith("/dev/")) << device.toStdString();
        return device;
    }

    QStringList base() const { return {"--port", pty, "--ini", ini()}; }

    void start(QProcess& p, const QStringList& args) {
        // Any other folder: nothing may depend on the current directory.
        p.setWorkingDirectory(QDir::rootPath());
        p.start(VRXLOAD_PROGRAM, args);
        ASSERT_TRUE(p.waitForStarted(5000));
    }

    ProcessRun finish(QProcess& p) {
        ProcessRun run;
        EXPECT_TRUE(p.waitForFinished(kRunLimitMs)) << "vrxload did not end";
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
        }
        run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.out = QString::fromUtf8(p.readAllStandardOutput());
        run.err = QString::fromUtf8(p.readAllStandardError());
        return run;
    }

    ProcessRun vrxload(const QStringList& args) {
        QProcess p;
        start(p, args);
        p.closeWriteChannel();
        return finish(p);
    }

    // Standard output read so far (kept in `shown`) once it holds `text`.
    QString readUntil(QProcess& p, const QString& text) {
        QElapsedTimer clock;
        clock.start();
        while (!shown.contains(text) && clock.elapsed() < 10000) {
            p.waitForReadyRead(100);
            shown += QString::fromUtf8(p.readAllStandardOutput());
        }
        return shown;
    }

    QTemporaryDir dir;
    QProcess sim;
    QString pty;
    QString shown;
};

TEST_F(VrxloadTest, PrimaryAndSecondaryLogEqualsTheWindowLog) {
    startSim();
    const ProcessRun run = vrxload(base() << "primary");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, kPrimaryLog + kSecondaryLog);
    EXPECT_EQ(run.err, kWaitText) << "the instruction text, once, and nothing else";
}

TEST_F(VrxloadTest, TraceRecordsEveryByteBothWaysInOrder) {
    startSim();
    const QString trace = dir.filePath("line.trace");
    const ProcessRun run = vrxload(base() << "--trace" << trace << "--untick"
                                          << "1"
                                          << "primary");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(file.readAll());
    // The boot handshake in the order it happened: boot ID, "A", "5", "U" "3", "R".
    const QStringList steps = {"-- open " + pty, "RX  35 ", "TX  41 ", "RX  35 ",
                               "TX  55 ",        "TX  33 ", "RX  52 ", "-- close"};
    qsizetype at = 0;
    for (const QString& step : steps) {
        const qsizetype found = text.indexOf(step, at);
        ASSERT_GE(found, 0) << "missing after offset " << at << ": " << step.toStdString() << "\n"
                            << text.left(2000).toStdString();
        at = found + step.size();
    }
    // The primary executable goes out whole: 300 bytes, 16 to a trace line.
    EXPECT_GE(text.count(" TX "), 300 / 16) << text.left(2000).toStdString();
}

TEST_F(VrxloadTest, PortsListsTheMappingWithoutOpeningAPort) {
    writeFile("ports.ini", "[PORTS]\nCOM2=/dev/ttyUSB7\n");
    const ProcessRun run = vrxload({"--ini", dir.filePath("ports.ini"), "ports"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("Ports ([PORTS] in " + dir.filePath("ports.ini") +
                                   "):\n  COM1:  (none)\n  COM2:  /dev/ttyUSB7\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("\nSerial devices present:\n")) << run.out.toStdString();
}

TEST_F(VrxloadTest, QuietKeepsOnlyTheBoxes) {
    startSim();
    const ProcessRun ok = vrxload(base() << "--quiet"
                                         << "primary");
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_EQ(ok.out, "");
    EXPECT_EQ(ok.err, "");
    const ProcessRun refused = vrxload(base() << "--quiet"
                                              << "--slot"
                                              << "3=" + dir.filePath("uboot.ubt") + ",0x80000004"
                                              << "--slot"
                                              << "2=" + dir.filePath("uboot.ubt") + ",0x80000004"
                                              << "validate");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.startsWith("Address overlap or too large: "))
        << refused.err.toStdString();
}

TEST_F(VrxloadTest, UrkAndStartUseThePortPrimaryLeftOpen) {
    startSim();
    const ProcessRun run = vrxload(base() << "primary"
                                          << "urk"
                                          << "start");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, kPrimaryLog + kSecondaryLog +
                           "-- Sending command .. u ..done!\n"
                           "Sending startaddress .. done!\n"
                           "Sending size .. done!\n"
                           "Wait for acceptance from primary boot .. o ..OK!\n"
                           "Sending code .. done!\n"
                           "Expect final 't' .. t .. found, \n"
                           "---- UBoot image loaded. ---\n"
                           "\n"
                           "\n-- Starting Secondary Executable --\n" +
                           kTerminalLine);
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    const QString simLog = QString::fromLocal8Bit(sim.readAllStandardError());
    EXPECT_TRUE(simLog.contains("primary loader: 'd', starting the secondary executable"))
        << "\"d\" went out before the program ended: " << simLog.toStdString();
}

TEST_F(VrxloadTest, FlashLogWithAndWithoutErase) {
    startSim();
    const QString stx(QChar(0x2402));  // STX as the window shows it
    for (const bool erase : {true, false}) {
        SCOPED_TRACE(erase ? "flash --erase" : "flash");
        QStringList args = base() << "flash";
        if (erase) args << "--erase";
        const ProcessRun run = vrxload(args);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, kPrimaryLog +
                               "Sending 'F' .. done!\n"
                               "Expect 'F' .. F .. found!\n"
                               "Sending 'S' .. done!\n"
                               "Sending VERSION REQUEST .. done!\n"
                               "Reading VERSION INFORMATION frame .. " +
                               stx + ">VRX5520 fl_burn (simulated) 1.0< done!\n" +
                               "Sending NAND FLASH HEADER frame .. " +
                               (erase ? "(ERASING FLASH) .. " : "") +
                               "get ACK .. done!\n"
                               "Sending NAND FLASH DATA frame .. get ACK .. done!\n"
                               "Sending END-OF-DATA frame .. get ACK .. done!\n"
                               "Sending NAND FLASH COMPLETE.. get ACK .. done!\n");
    }
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(
        QString::fromLocal8Bit(sim.readAllStandardError()).count("flash loader: flash erased"), 1)
        << "only the --erase run asked for the erase";
}

TEST_F(VrxloadTest, RefusedAddressEndsBeforeThePortOpens) {
    startSim();
    struct Case {
        const char* name;
        QStringList args;
        QString box;
    };
    const Case cases[] = {
        {"overlapping the mark",
         {"--slot", "1=" + dir.filePath("secondary.bin") + ",0x80000000", "primary"},
         "Address overlap or too large: Address range for the UBoot marker (0x80000000)\n"
         "overlaps the address range for Secondary Executable\n"},
        {"outside the SDRAM window",
         {"--slot", "2=" + dir.filePath("uboot.ubt") + ",0x84000000", "validate"},
         "Invalid address: Check the Start address for the UBoot image\n"
         "It must be between 0x80000004 and 0x83FFFFF0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessRun run = vrxload(base() + c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains(c.box)) << run.err.toStdString();
        EXPECT_FALSE(run.out.contains("Waiting for BootID")) << run.out.toStdString();
    }
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_FALSE(QString::fromLocal8Bit(sim.readAllStandardError()).contains("device opened"))
        << "the port was never opened";
}

TEST_F(VrxloadTest, ValidatePrintsTheAddressTable) {
    const ProcessRun run = vrxload({"--port", "/nonexistent/tty", "--ini", ini(), "validate"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              "index  start       size\n"
              "5      0x00000000  0x4\n"
              "1      0x00000004  0x3E8\n"
              "2      0x00100000  0x2BC\n"
              "6      0x02000000  \n"
              "7      0x04000000  \n");
}

TEST_F(VrxloadTest, DefaultIniIsTheWindowsBesideTheProgram) {
    const QString program = dir.filePath("vrxload");
    ASSERT_TRUE(QFile::copy(VRXLOAD_PROGRAM, program));
    QFile::setPermissions(program, QFile::permissions(VRXLOAD_PROGRAM));

    QProcess missing;
    missing.setWorkingDirectory(QDir::rootPath());
    missing.start(program, {"validate"});
    ProcessRun run = finish(missing);
    EXPECT_EQ(run.exitCode, 0) << "the run goes on with the initial slots";
    EXPECT_EQ(run.err, "No file: No INI File found. Expect " + dir.filePath("VRX5520_Loader.INI") +
                           "\nDefault values are NOT set!\n");

    ASSERT_TRUE(QFile::copy(ini(), dir.filePath("VRX5520_Loader.INI")));
    QProcess found;
    found.setWorkingDirectory(QDir::rootPath());
    found.start(program, {"validate"});
    run = finish(found);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(run.out.contains("2      0x00100000  0x2BC\n")) << run.out.toStdString();
}

TEST_F(VrxloadTest, SigintCancelsTheBootIdWait) {
    startSim({"--silent-at", "boot-id"});
    QProcess p;
    start(p, base() << "primary"
                    << "validate");
    QElapsedTimer clock;
    clock.start();
    QByteArray err;
    while (!err.contains("Waiting for Boot_ID") && clock.elapsed() < 10000) {
        p.waitForReadyRead(100);
        err += p.readAllStandardError();
    }
    ASSERT_TRUE(err.contains("Waiting for Boot_ID")) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    const ProcessRun run = finish(p);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "Waiting for BootID .. " + QString(QChar(0x2400)) + "cancelled!\n" + kCancelLine)
        << "the cancel path; validate no longer runs";
}

TEST_F(VrxloadTest, BadUsageExitsWith2) {
    struct Case {
        QStringList args;
        QString message;
    };
    const Case cases[] = {
        {{}, "vrxload: no command given"},
        {{"load"}, "vrxload: unknown command 'load'"},
        {{"--speed", "9600", "primary"}, "vrxload: unknown option --speed"},
        {{"--erase", "flash"}, "vrxload: --erase belongs right after the flash command"},
        {{"--slot", "7=x.bin", "primary"}, "vrxload: unknown slot '7'"},
        {{"--slot", "primary.bin", "primary"}, "vrxload: --slot wants N=PATH[,ADDRESS]"},
        {{"--untick", "-1", "primary"}, "vrxload: unknown slot '-1'"},
        {{"primary", "--port"}, "vrxload: --port wants a value"},
        {{"script"}, "vrxload: script wants a FILE"},
        {{"--ini", "/nonexistent/vrx.ini", "validate"}, "vrxload: cannot read the INI file"},
        {{"--ini", ini(), "--slot", "1=/nonexistent/x.bin", "validate"},
         "vrxload: --slot 1: cannot read /nonexistent/x.bin"},
        {{"--ini", ini(), "urk"}, "vrxload: urk: no primary loader is ready"},
        {{"--ini", ini(), "start"}, "vrxload: start: no secondary executable is loaded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProcessRun run = vrxload(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.startsWith(c.message)) << run.err.toStdString();
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(VrxloadTest, UnopenablePortExitsWith3) {
    writeFile("ports.ini",
              "[BINFILES]\nPRIMARY=primary.bin,0x0\n[PORTS]\nCOM5=/nonexistent/ttyS5\n");
    struct Case {
        const char* name;
        QStringList args;
        const char* portName;  // how the error box names the port
    };
    const Case cases[] = {
        {"device path",
         {"--port", "/nonexistent/ttyUSB0", "--ini", ini(), "primary"},
         "/nonexistent/ttyUSB0"},
        {"COMn mapped in [PORTS]",
         {"--port", "com5", "--ini", dir.filePath("ports.ini"), "flash"},
         "COM5"},
        {"terminal",
         {"--port", "/nonexistent/ttyUSB0", "--ini", ini(), "terminal"},
         "/nonexistent/ttyUSB0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessRun run = vrxload(c.args);
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(run.err.contains(
            QString("Error: Error communicating with %1\n").arg(QLatin1String(c.portName))))
            << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("cannot open /nonexistent/")) << run.err.toStdString();
    }
}

// The simulated terminal resets when the port opens; like a user, the tests
// type once its prompt shows.
TEST_F(VrxloadTest, TerminalSendsStandardInputAndDrainsAfterItsEnd) {
    startSim({"--mode", "terminal"});
    QProcess p;
    start(p, base() << "terminal");
    ASSERT_TRUE(readUntil(p, "=> ").contains("=> "));
    p.write("help\r");
    p.closeWriteChannel();
    const ProcessRun run = finish(p);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(shown.startsWith(kTerminalLine)) << shown.toStdString();
    EXPECT_TRUE((shown + run.out).contains("help\ncommands: help, version\n"))
        << "echo and answer after the end of input, CR LF as one line break";
}

TEST_F(VrxloadTest, TerminalStopsAtCtrlBracketWithoutSendingIt) {
    startSim({"--mode", "terminal"});
    QProcess p;
    start(p, base() << "terminal");
    ASSERT_TRUE(readUntil(p, "=> ").contains("=> "));
    p.write("help\r");
    ASSERT_TRUE(readUntil(p, "commands:").contains("commands:"));
    // Standard input stays open: only Ctrl-] can end the session, and nothing
    // from it on reaches the line.
    p.write("\x1dversion\r");
    const ProcessRun run = finish(p);
    EXPECT_EQ(run.exitCode, 0);
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    const QString simLog = QString::fromLocal8Bit(sim.readAllStandardError());
    EXPECT_TRUE(simLog.contains("terminal: line \"help\"")) << simLog.toStdString();
    EXPECT_FALSE(simLog.contains("version")) << simLog.toStdString();
}

TEST_F(VrxloadTest, ScriptSendsAndWaitsInTerminalMode) {
    startSim({"--mode", "terminal"});
    writeFile("demo.scr", "; comment\r\n<=> \r\n>help/n\r\n<commands:\r\n>version/n\r\n<1.0\r\n");
    const ProcessRun run = vrxload(base() << "script" << dir.filePath("demo.scr"));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(kTerminalLine)) << run.out.toStdString();
    EXPECT_TRUE(
        run.out.contains("=> help\ncommands: help, version\n=> version\n"
                         "VRX5520 simulated board 1.0\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("vrxload: 6 script lines executed.\n")) << run.err.toStdString();
}

TEST_F(VrxloadTest, SigintEndsAScriptWait) {
    startSim({"--mode", "terminal"});
    writeFile("wait.scr", "<=> \r\n<never sent\r\n>help/n\r\n");
    QProcess p;
    start(p, base() << "script" << dir.filePath("wait.scr"));
    ASSERT_TRUE(readUntil(p, "=> ").contains("=> "));
    ::kill(pid_t(p.processId()), SIGINT);
    const ProcessRun run = finish(p);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("vrxload: 2 script lines executed.")) << run.err.toStdString();
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_FALSE(QString::fromLocal8Bit(sim.readAllStandardError()).contains("help"))
        << "the line after the cancelled wait never ran";
}

TEST_F(VrxloadTest, SigintDuringATransferAsksAndYesCancels) {
    startSim();
    // Big enough that the transfer is still running when the signal comes.
    writeFile("big.bin", pattern(2'000'000, 6));
    QProcess p;
    start(p, base() << "--yes"
                    << "--slot"
                    << "0=" + dir.filePath("big.bin") << "--untick"
                    << "1"
                    << "primary");
    ASSERT_TRUE(readUntil(p, "Sending code .. ").contains("Sending code .. "));
    ::kill(pid_t(p.processId()), SIGINT);
    const ProcessRun run = finish(p);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE((shown + run.out).endsWith("Sending code .. " + kCancelLine))
        << (shown + run.out).toStdString();
    EXPECT_TRUE(
        run.err.endsWith("VRX5520_Loader: If you cancel now, you have to restart all over!\n"
                         "Are you sure?\n"
                         "vrxload: primary failed: Sending code ..\n"))
        << "the last line names the step that failed:\n"
        << run.err.toStdString();
}

// A rack: eight boards at the line rate, one vrxload per port, all at once.
TEST_F(VrxloadTest, EightBoardsLoadInParallelAtTheLineRate) {
    writeFile("rootfs.ubt", pattern(1500, 6));
    writeFile("kernel.bin", pattern(1200, 7));
    QFile file(ini());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("ROOTFS=rootfs.ubt,0x80800000\nKERNEL=kernel.bin,0x83000000\n");
    file.close();
    constexpr int kBoards = 8;
    std::array<QProcess, kBoards> boards;
    std::array<QProcess, kBoards> loaders;
    for (int i = 0; i < kBoards; ++i) {
        const QString device = startSimOn(boards[size_t(i)], {});
        ASSERT_FALSE(device.isEmpty());
        start(loaders[size_t(i)], {"--port", device, "--ini", ini(), "--yes", "primary", "urk"});
    }
    for (int i = 0; i < kBoards; ++i) {
        const ProcessRun run = finish(loaders[size_t(i)]);
        EXPECT_EQ(run.exitCode, 0) << "board " << i << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.contains("---- Kernel image loaded. ---")) << "board " << i;
    }
    for (QProcess& board : boards) {
        board.terminate();
        if (!board.waitForFinished(5000)) board.kill();
    }
}

}  // namespace
}  // namespace vrx::test
