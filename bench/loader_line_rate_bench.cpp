// The loader on a 115200-baud line that pushes back: a 1 MiB secondary
// executable to the simulated board (paced at 11,520 bytes/s on a pseudo-
// terminal, in a thread of its own), once through the window's code (Link on
// the QSerialPort line, in this process) and once through vrxload. Printed:
//   line utilisation   bytes / (last - first arrival at the board) / 11,520
//   loader CPU         CPU seconds of the loader per second of transfer
//   event-loop gap     the longest time between two turns (window's code)
//   cancel latency     Cancel (window) or SIGINT (vrxload --yes) to the end
// Goals: >= 0.98, <= 0.02, <= 50 ms, <= 200 ms. A full run takes about four
// minutes; X9_LINE_RATE_BENCH_KIB sets a smaller image for a quick look.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>

#include "board.h"
#include "link.h"
#include "loader_bench_front.h"
#include "pty_line.h"
#include "qserialport_line.h"

namespace {

using vrx::loaderState;

constexpr double kLineRate = 115200.0 / 10.0;

qint64 nowNs() {
    static QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return origin.nsecsElapsed();
}

double cpuOf(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The paced board in its own thread, so its work is not the loader's.
class BoardThread {
  public:
    BoardThread() {
        std::promise<QString> path;
        auto pathReady = path.get_future();
        thread_.reset(QThread::create([this, &path] {
            QEventLoop loop;
            vrx::sim::PtyLine pty;
            vrx::sim::Board board(pty, vrx::sim::Mode::Boot);
            board.setRecording(false);
            board.setLinePace(vrx::sim::kDefaultBaud);
            QObject::connect(&pty, &vrx::sim::PtyLine::peerOpened, &board,
                             &vrx::sim::Board::loaderOpened);
            QObject::connect(&pty, &vrx::sim::PtyLine::peerDiscardedInput, &board,
                             &vrx::sim::Board::loaderOpened);
            QObject::connect(&board, &vrx::sim::Board::bytesTaken, [this](qint64 n) {
                const qint64 t = nowNs();
                if (taken_ == 0) first_ = t;
                last_ = t;
                taken_ += n;
            });
            loop_ = &loop;
            path.set_value(pty.slavePath());
            loop.exec();
        }));
        thread_->start();
        device_ = pathReady.get();
    }
    ~BoardThread() {
        QMetaObject::invokeMethod(loop_, &QEventLoop::quit, Qt::QueuedConnection);
        thread_->wait();
    }
    QString device() const { return device_; }
    void reset() { taken_ = 0; }
    // Bytes taken and the time between the first and the last of them.
    double utilisation() const {
        const double seconds = double(last_ - first_) / 1e9;
        return seconds > 0 ? double(taken_) / seconds / kLineRate : 0;
    }
    qint64 taken() const { return taken_; }

  private:
    std::unique_ptr<QThread> thread_;
    QEventLoop* loop_ = nullptr;
    QString device_;
    std::atomic<qint64> first_{0};
    std::atomic<qint64> last_{0};
    std::atomic<qint64> taken_{0};
};

QString writeFile(const QTemporaryDir& dir, const QString& name, int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = char((i * 7 + i / 251) & 0xFF);
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly)) std::abort();
    file.write(bytes);
    return file.fileName();
}

struct Figures {
    double utilisation = 0;
    double cpuPerSecond = 0;
    double longestGapMs = -1;  // not measured
    double cancelMs = 0;
};

void print(const char* path, const Figures& f, qint64 bytes) {
    std::printf("%-14s %8lld B  utilisation %.3f (goal >= 0.98)  CPU %.4f s/s (goal <= 0.02)", path,
                static_cast<long long>(bytes), f.utilisation, f.cpuPerSecond);
    if (f.longestGapMs >= 0) std::printf("  longest gap %.1f ms (goal <= 50)", f.longestGapMs);
    std::printf("  cancel %.1f ms (goal <= 200)\n", f.cancelMs);
}

Figures windowPath(BoardThread& board, const QTemporaryDir& dir, int imageSize) {
    vrx::bench::BenchFront front;
    front.device = board.device();
    front.slotData[0] = {true, writeFile(dir, "primary.bin", 1024), "0x0000", "0x400"};
    front.slotData[1] = {true, writeFile(dir, "secondary.bin", imageSize), "0x80000004",
                         "0x" + QString::number(imageSize, 16)};
    vrx::QSerialPortLine line;
    vrx::Link link(line, front);
    Figures f;

    // Turns of the event loop: a 10 ms timer, late by however long a turn took.
    qint64 lastTurn = 0;
    qint64 longestGap = 0;
    QTimer turns;
    turns.setTimerType(Qt::PreciseTimer);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const qint64 t = nowNs();
        if (lastTurn > 0 && loaderState().lBytesSent > 2048) {
            longestGap = std::max(longestGap, t - lastTurn - 10'000'000);
        }
        lastTurn = t;
    });
    turns.start(10);

    board.reset();
    const double cpuBefore = cpuOf(RUSAGE_THREAD);
    const qint64 start = nowNs();
    link.cmdStartPrimary_Click();
    const double seconds = double(nowNs() - start) / 1e9;
    f.cpuPerSecond = (cpuOf(RUSAGE_THREAD) - cpuBefore) / seconds;
    f.utilisation = board.utilisation();
    f.longestGapMs = double(longestGap) / 1e6;
    turns.stop();
    link.ClosePort();

    // Cancel two seconds into a transfer, answered Yes.
    front.boxes.yesNoAnswers = {true};
    qint64 cancelAt = 0;
    QTimer::singleShot(2000, [&] {
        cancelAt = nowNs();
        link.cmdCancel_Click();
    });
    link.cmdStartPrimary_Click();
    f.cancelMs = double(nowNs() - cancelAt) / 1e6;
    return f;
}

Figures vrxloadPath(BoardThread& board, const QTemporaryDir& dir, int imageSize,
                    const QString& vrxload) {
    QFile ini(dir.filePath("VRX5520_Loader.INI"));
    if (!ini.open(QIODevice::WriteOnly)) std::abort();
    writeFile(dir, "secondary.bin", imageSize);
    ini.write(QString("[BINFILES]\nPRIMARY=primary.bin,0x0\nSECONDARY=secondary.bin,0x80000004\n"
                      "[PORTS]\nCOM1=%1\n")
                  .arg(board.device())
                  .toLocal8Bit());
    ini.close();
    Figures f;
    const auto run = [&](bool interrupt) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.setProgram(vrxload);
        process.setArguments({"--ini", ini.fileName(), "--yes", "--quiet", "primary"});
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        const double cpuBefore = cpuOf(RUSAGE_CHILDREN);
        const qint64 start = nowNs();
        process.start();
        if (!process.waitForStarted()) std::abort();
        qint64 interruptAt = 0;
        if (interrupt) {
            process.waitForFinished(2000);
            interruptAt = nowNs();
            ::kill(pid_t(process.processId()), SIGINT);
        }
        process.waitForFinished(-1);
        const qint64 end = nowNs();
        if (interrupt) {
            f.cancelMs = double(end - interruptAt) / 1e6;
        } else {
            f.cpuPerSecond = (cpuOf(RUSAGE_CHILDREN) - cpuBefore) / (double(end - start) / 1e9);
            if (process.exitCode() != 0) std::printf("vrxload failed: %d\n", process.exitCode());
        }
    };
    board.reset();
    run(false);
    f.utilisation = board.utilisation();
    run(true);
    return f;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const char* kib = std::getenv("X9_LINE_RATE_BENCH_KIB");
    const int imageSize = (kib ? std::atoi(kib) : 1024) * 1024;
    QTemporaryDir dir;
    BoardThread board;
    std::printf("1 MiB-class transfer at 115200 baud (%d bytes), board paced at %.0f B/s\n",
                imageSize, kLineRate);
    const Figures window = windowPath(board, dir, imageSize);
    print("window code", window, imageSize);
    QThread::msleep(300);  // let the board's reset after the last close pass
    const QString vrxload = QCoreApplication::applicationDirPath() + "/../loader/cli/vrxload";
    const Figures cli = vrxloadPath(board, dir, imageSize, vrxload);
    print("vrxload", cli, imageSize);
    return 0;
}
