#include "line_pace.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace vrx::sim {

namespace {
qint64 steadyNs() {
    static const QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return origin.nsecsElapsed();
}
}  // namespace

LinePace::LinePace(int baud, PaceClock clock)
    : baud_(std::max(baud, 0)),
      bytesPerSecond_(baud_ / 10.0),
      clock_(clock ? std::move(clock) : PaceClock(steadyNs)) {
    last_ = clock_();
}

void LinePace::accrue() {
    const qint64 now = clock_();
    allowance_ =
        std::min(double(kPaceBurst), allowance_ + double(now - last_) * 1e-9 * bytesPerSecond_);
    last_ = now;
}

qint64 LinePace::available() {
    if (unlimited()) return std::numeric_limits<qint64>::max();
    accrue();
    return qint64(allowance_);
}

void LinePace::spend(qint64 bytes) {
    if (unlimited()) return;
    accrue();
    allowance_ -= double(bytes);
}

int LinePace::msUntil(qint64 bytes) {
    if (unlimited()) return 0;
    accrue();
    const double missing = double(std::min(bytes, kPaceBurst)) - allowance_;
    return std::max(1, int(std::ceil(missing / bytesPerSecond_ * 1000.0)));
}

}  // namespace vrx::sim
