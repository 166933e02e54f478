// One task's run state in the virtual brick: where it is, its own variables (32-47), its single
// return address and its stack of loop counters.
#pragma once

#include <array>
#include <cstdint>

#include "Clock.h"

namespace towerlink {

struct Task {
    static constexpr int kLocals = 16, kLoopDepth = 4;

    bool running = false;
    int subroutine = -1;  // the subroutine it is in, -1 for its own code
    int pc = 0;           // offset in the chunk it is in
    int returnPc = 0;     // one return address: subroutines do not nest
    std::array<std::int16_t, kLocals> locals{};
    std::array<int, kLoopDepth> loops{};
    int loopDepth = 0;
    Micros wakeAt{0};  // waiting until then
    int priority = 0;
};

}  // namespace towerlink
