// PtyLine and the vrx-board-sim program: bytes over a real pseudo-terminal, the
// peer events the board resets on, and the program's start, path and exit.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "pty_line.h"
#include "sim_test_support.h"

namespace {

using simtest::pumpUntil;
using vrx::sim::Board;
using vrx::sim::PtyLine;

// The peer's end of the pty: a device opened as the loader opens it.
class Slave {
  public:
    explicit Slave(const QString& path)
        : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Slave() { close(); }
    Slave(const Slave&) = delete;
    Slave& operator=(const Slave&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void write(const QByteArray& bytes) {
        ASSERT_EQ(::write(fd_, bytes.constData(), size_t(bytes.size())), bytes.size());
    }
    void discardInput() { ::tcflush(fd_, TCIFLUSH); }
    // Reads until `n` bytes came, running the event loop meanwhile (the other
    // end may live in this process).
    QByteArray read(int n) {
        QByteArray got;
        pumpUntil([&] {
            char buffer[256];
            const ssize_t r = ::read(fd_, buffer, sizeof buffer);
            if (r > 0) got.append(buffer, r);
            return got.size() >= n;
        });
        return got;
    }

  private:
    int fd_;
};

class SimPtyTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { simtest::ensureApp(); }
};

TEST_F(SimPtyTest, BytesCrossUnchangedInBothDirections) {
    PtyLine pty;
    pty.open("board", "115200,N,8,1");
    EXPECT_TRUE(pty.slavePath().startsWith("/dev/pts/")) << pty.slavePath().toStdString();
    Slave slave(pty.slavePath());
    ASSERT_TRUE(slave.isOpen());
    ASSERT_TRUE(pumpUntil([&] { return pty.peerConnected(); }));

    QByteArray all;
    for (int i = 0; i < 256; ++i) all.append(char(i));
    QSignalSpy arrived(&pty, &vrx::SerialLine::dataArrived);
    slave.write(all);
    ASSERT_TRUE(pumpUntil([&] { return pty.bytesWaiting() >= all.size(); }));
    EXPECT_FALSE(arrived.isEmpty());
    EXPECT_EQ(pty.read(0), all) << "raw mode: no byte is translated or swallowed";

    pty.write(all);
    EXPECT_EQ(slave.read(all.size()), all);
}

TEST_F(SimPtyTest, ReportsThePeerOpeningFlushingAndClosing) {
    PtyLine pty;
    pty.open("board", "115200,N,8,1");
    QSignalSpy opened(&pty, &PtyLine::peerOpened);
    QSignalSpy discarded(&pty, &PtyLine::peerDiscardedInput);
    QSignalSpy closed(&pty, &PtyLine::peerClosed);

    auto slave = std::make_unique<Slave>(pty.slavePath());
    ASSERT_TRUE(pumpUntil([&] { return opened.size() == 1; }));
    slave->discardInput();
    ASSERT_TRUE(pumpUntil([&] { return discarded.size() == 1; }));
    slave.reset();
    ASSERT_TRUE(pumpUntil([&] { return closed.size() == 1; }));
    EXPECT_FALSE(pty.peerConnected());
    slave = std::make_unique<Slave>(pty.slavePath());
    ASSERT_TRUE(pumpUntil([&] { return opened.size() == 2; }));
}

TEST_F(SimPtyTest, BytesWrittenWithoutPeerAreLost) {
    PtyLine pty;
    pty.open("board", "115200,N,8,1");
    pty.write("stale");
    Slave slave(pty.slavePath());
    ASSERT_TRUE(pumpUntil([&] { return pty.peerConnected(); }));
    pty.write("fresh");
    EXPECT_EQ(slave.read(5), "fresh");
}

TEST_F(SimPtyTest, BoardResetsWhenThePortIsOpened) {
    PtyLine pty;
    Board board(pty, vrx::sim::Mode::Boot);
    QObject::connect(&pty, &PtyLine::peerOpened, &board, &Board::loaderOpened);
    QObject::connect(&pty, &PtyLine::peerDiscardedInput, &board, &Board::loaderOpened);
    Slave slave(pty.slavePath());
    slave.discardInput();
    EXPECT_EQ(slave.read(1), "5");
    slave.write("A");
    EXPECT_EQ(slave.read(1), "5");
    slave.write("U3");
    EXPECT_EQ(slave.read(1), "R");
}

// --- the program ---

class SimProgramTest : public SimPtyTest {
  protected:
    void TearDown() override {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        process.waitForFinished(5000);
    }
    void start(const QStringList& args) {
        process.setProgram(SIM_PROGRAM);
        process.setArguments(args);
        process.start();
        ASSERT_TRUE(process.waitForStarted());
    }
    QString firstLine() {
        pumpUntil([&] {
            process.waitForReadyRead(50);
            return process.canReadLine() || process.state() == QProcess::NotRunning;
        });
        return QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    QProcess process;
};

TEST_F(SimProgramTest, PrintsItsDeviceAndServesTheBoardUntilStdinEnds) {
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyVRX");
    start({"--mode", "boot", "--link", link, "--stdin-quit"});
    const QString path = firstLine();
    ASSERT_TRUE(path.startsWith("/dev/pts/")) << path.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), path);

    {
        Slave slave(link);
        ASSERT_TRUE(slave.isOpen());
        slave.discardInput();
        EXPECT_EQ(slave.read(1), "5");
        slave.write("A");
        EXPECT_EQ(slave.read(1), "5");
    }
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the link goes with the program";
}

TEST_F(SimProgramTest, QuitsCleanlyOnSigterm) {
    start({});
    ASSERT_TRUE(firstLine().startsWith("/dev/pts/"));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(SimProgramTest, InjectsFaultsFromItsCommandLine) {
    start({"--mode", "boot", "--fault", "ready=r", "--noise", "\\x00?", "--stdin-quit"});
    Slave slave(firstLine());
    slave.discardInput();
    EXPECT_EQ(slave.read(3), QByteArray("\x00?5", 3));
    slave.write("AU3");
    EXPECT_EQ(slave.read(2), "5r");
}

TEST_F(SimProgramTest, VerboseLogsProtocolEventsToStderr) {
    start({"-v", "--mode", "boot", "--stdin-quit"});
    Slave slave(firstLine());
    slave.discardInput();
    EXPECT_EQ(slave.read(1), "5");
    slave.write("B");
    QByteArray log;
    pumpUntil([&] {
        log += process.readAllStandardError();
        return log.contains("VIOLATION");
    });
    EXPECT_TRUE(log.contains("vrx-board-sim: the loader opened the port")) << log.toStdString();
    EXPECT_TRUE(log.contains("VIOLATION: boot ROM: expected 'A', received 'B'"))
        << log.toStdString();
}

TEST_F(SimProgramTest, HelpAndBadOptions) {
    struct Case {
        QStringList args;
        int exitCode;
        const char* output;  // expected in stdout (help) or stderr (errors)
    };
    const Case cases[] = {
        {{"--help"}, 0, "--mode"},
        {{"--mode", "rocket"}, 2, "unknown mode"},
        {{"--fault", "nowhere=x"}, 2, "unknown step"},
        {{"--fault", "ready:u=x"}, 2, "command letter"},
        {{"--refuse", "z"}, 2, "--refuse"},
        {{"--reset-delay", "soon"}, 2, "milliseconds"},
        {{"--bogus"}, 2, "bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess p;
        p.start(SIM_PROGRAM, c.args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), c.exitCode);
        const QByteArray text =
            c.exitCode == 0 ? p.readAllStandardOutput() : p.readAllStandardError();
        EXPECT_TRUE(text.contains(c.output)) << text.toStdString();
    }
}

TEST_F(SimProgramTest, RefusesToReplaceAFileWithItsLink) {
    QTemporaryDir dir;
    const QString file = dir.filePath("precious");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    start({"--link", file});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_NE(process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(file).isSymLink());
}

}  // namespace
