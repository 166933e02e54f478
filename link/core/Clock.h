// Time source for the link. The session and the virtual brick read time only through this
// interface, so tests drive a ManualClock and never sleep.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace towerlink {

using Micros = std::chrono::microseconds;

// A wait in whole milliseconds, as system calls take it: rounded up, so that a wait never ends
// early, 0 for none, and capped where 32 bits of signed milliseconds end.
inline std::uint32_t toMilliseconds(Micros t) {
    if (t <= Micros{0}) return 0;
    return static_cast<std::uint32_t>(std::min<long long>((t.count() + 999) / 1000, 0x7FFFFFFF));
}

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time since an arbitrary origin.
    virtual Micros now() = 0;
    // Waits until `when`; a manual clock simply moves there.
    virtual void sleepUntil(Micros when) = 0;
};

class SystemClock final : public Clock {
public:
    Micros now() override;
    void sleepUntil(Micros when) override;
};

// A clock that moves only when told to (or when someone sleeps on it), so that a whole
// exchange with timeouts runs in no real time.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Micros start = Micros{0}) : now_(start) {}
    Micros now() override { return now_; }
    void sleepUntil(Micros when) override {
        if (when > now_) now_ = when;
    }
    void advance(Micros by) { now_ += by; }

private:
    Micros now_;
};

}  // namespace towerlink
