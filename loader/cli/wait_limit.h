// vrxload's --wait: a bound on one wait for the target (the boot ID, a script's
// "<" text). When it runs out it sets bCancel, so the wait ends on the same
// cancel path the window's cancel button takes. Without a bound it never
// fires, and vrxload waits as the window does.
#pragma once

#include <QTimer>
#include <functional>
#include <optional>

namespace vrx::cli {

class WaitLimit {
  public:
    // Milliseconds on a monotonic clock; tests hand in their own.
    using Clock = std::function<qint64()>;

    explicit WaitLimit(std::optional<int> seconds, Clock clock = {});

    bool bounded() const { return seconds_.has_value(); }
    int seconds() const { return seconds_.value_or(0); }

    // Starts watching one wait.
    void arm();
    // Stops watching; true when the bound ran out since arm().
    bool disarm();
    bool expired() const { return expired_; }

  private:
    void check();

    std::optional<int> seconds_;
    Clock clock_;
    QTimer poll_;
    qint64 start_ = 0;
    bool expired_ = false;
};

}  // namespace vrx::cli
