// The simulator's line rate on an injected clock: the allowance a UART's pace
// gives, capped at its FIFO, and a board that takes and sends no faster.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "board.h"
#include "line_pace.h"
#include "memory_line.h"

namespace vrx::sim {
namespace {

constexpr qint64 kMs = 1'000'000;

struct FakeClock {
    qint64 now = 0;
    PaceClock clock() {
        return [this] { return now; };
    }
};

TEST(LinePaceTest, AllowanceAccruesAtTheRateAndStopsAtTheFifo) {
    FakeClock t;
    LinePace pace(115200, t.clock());
    struct Step {
        qint64 advanceNs;
        qint64 available;  // after the advance
    };
    // 11,520 bytes per second: 11.52 per millisecond.
    for (const Step& s : {Step{0, 0}, Step{1 * kMs, 11}, Step{2 * kMs, 34}, Step{1000 * kMs, 64}}) {
        t.now += s.advanceNs;
        EXPECT_EQ(pace.available(), s.available) << "after +" << s.advanceNs << " ns";
    }
    pace.spend(64);
    EXPECT_EQ(pace.available(), 0);
    EXPECT_EQ(pace.msUntil(23), 2) << "23 bytes take 2 ms";
    EXPECT_TRUE(LinePace(0, t.clock()).unlimited());
}

TEST(LinePaceTest, ABoardTakesAndAnswersNoFasterThanTheLine) {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "sim_line_pace_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    FakeClock t;
    MemoryLinePair pair;
    pair.loaderEnd->open("loader", "115200,N,8,1");
    Board board(*pair.boardEnd, Mode::Terminal);
    board.setLinePace(115200, t.clock());
    board.setResetDelay(0);
    board.powerCycle();
    QCoreApplication::processEvents();
    board.clearCapture();

    pair.loaderEnd->write(QByteArray(1000, 'x'));
    QCoreApplication::processEvents();
    EXPECT_EQ(board.received().size(), 0) << "no time has passed";
    qint64 lastTaken = 0;
    for (int step = 1; step <= 20; ++step) {
        t.now += 5 * kMs;
        board.serviceLine();
        const qint64 taken = board.received().size();
        EXPECT_LE(taken - lastTaken, 58) << "5 ms carry 57.6 bytes (step " << step << ")";
        lastTaken = taken;
    }
    EXPECT_EQ(board.received().size(), 1000);
    // The echo kept pace with the input. The line then idled: the board sends
    // one FIFO at once, and the rest only as time passes.
    EXPECT_EQ(pair.loaderEnd->read(0), QByteArray(1000, 'x'));
    board.inject(QByteArray(200, 'y'));
    QCoreApplication::processEvents();
    EXPECT_EQ(pair.loaderEnd->bytesWaiting(), kPaceBurst);
    t.now += 5 * kMs;
    board.serviceLine();
    QCoreApplication::processEvents();
    EXPECT_EQ(pair.loaderEnd->bytesWaiting(), kPaceBurst + 57) << "5 ms carry 57.6 bytes";
}

}  // namespace
}  // namespace vrx::sim
