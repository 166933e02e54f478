// A virtual brick with a clock of its own, apart from the towers that talk to it: a real brick
// keeps its programs, variables and datalog, and its programs keep running, when the program
// that drives its tower closes the port.
#pragma once

#include "Clock.h"
#include "VirtualBrick.h"
#include "VirtualBrickSettings.h"

namespace towerlink {

class StandingBrick {
public:
    explicit StandingBrick(const VirtualBrickSettings& settings);
    StandingBrick(const StandingBrick&) = delete;
    StandingBrick& operator=(const StandingBrick&) = delete;

    // Whether these settings describe this brick; other settings put another brick there.
    bool isSetUpBy(const VirtualBrickSettings& settings) const { return settings == settings_; }

    VirtualBrick& brick() { return brick_; }
    Clock& clock() { return clock_; }

private:
    VirtualBrickSettings settings_;
    SystemClock clock_;
    VirtualBrick brick_;
};

}  // namespace towerlink
