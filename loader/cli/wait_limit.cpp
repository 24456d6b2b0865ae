#include "wait_limit.h"

#include <QDeadlineTimer>
#include <algorithm>

#include "loader_state.h"

namespace vrx::cli {

namespace {

// The wait loops sleep until an event; this tick is one, often enough that a
// bound ends within a fraction of a second of its time.
constexpr int kPollMs = 100;

qint64 steadyMilliseconds() {
    return QDeadlineTimer::current().deadline();
}

}  // namespace

WaitLimit::WaitLimit(std::optional<int> seconds, Clock clock)
    : seconds_(seconds), clock_(clock ? std::move(clock) : Clock(steadyMilliseconds)) {
    poll_.setInterval(kPollMs);
    QObject::connect(&poll_, &QTimer::timeout, [this] { check(); });
}

void WaitLimit::arm() {
    expired_ = false;
    if (!seconds_) return;
    start_ = clock_();
    poll_.setInterval(std::clamp(*seconds_ * 1000, 0, kPollMs));
    poll_.start();
}

bool WaitLimit::disarm() {
    poll_.stop();
    return expired_;
}

void WaitLimit::check() {
    if (!seconds_ || clock_() - start_ < qint64(*seconds_) * 1000) return;
    poll_.stop();
    expired_ = true;
    loaderState().bCancel = true;
}

}  // namespace vrx::cli
