// Wall-clock implementation of Clock on std::chrono::steady_clock.
#include "Clock.h"

#include <thread>

namespace towerlink {

Micros SystemClock::now() {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::sleepUntil(Micros when) {
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(when)));
}

}  // namespace towerlink
