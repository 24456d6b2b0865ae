// The pace of a UART: at `baud` with a start and a stop bit a byte takes ten
// bit times, so no more than baud / 10 bytes cross per second. LinePace hands
// out that allowance as it accrues, holding at most a FIFO's worth for an idle
// line, so a burst after a pause is no longer than a real UART would send.
//
// The clock is injected (nanoseconds from any fixed origin) so tests can drive
// time by hand; an empty clock is the steady clock.
#pragma once

#include <QtGlobal>
#include <functional>

namespace vrx::sim {

using PaceClock = std::function<qint64()>;

inline constexpr int kDefaultBaud = 115200;
// What an idle UART lets through at once: its FIFO.
inline constexpr qint64 kPaceBurst = 64;

class LinePace {
  public:
    // baud <= 0: no pace at all (as fast as the line goes).
    explicit LinePace(int baud = 0, PaceClock clock = {});

    bool unlimited() const { return bytesPerSecond_ <= 0; }
    int baud() const { return baud_; }
    // Bytes that may cross now.
    qint64 available();
    void spend(qint64 bytes);
    // Milliseconds until `bytes` may cross (at least 1, none when unlimited).
    int msUntil(qint64 bytes);

  private:
    void accrue();

    int baud_ = 0;
    double bytesPerSecond_ = 0;
    double allowance_ = 0;
    qint64 last_ = 0;
    PaceClock clock_;
};

}  // namespace vrx::sim
