// Shows how far a transfer has come on standard error: a bar redrawn in place on a terminal
// (percentage, bytes, time left), plain lines at every tenth of the way otherwise, so that a
// log or another program reading them is not flooded.
#pragma once

#include <cstddef>
#include <ostream>

#include "Clock.h"

namespace towerlink::tool {

class ProgressDisplay {
public:
    ProgressDisplay(std::ostream& out, bool terminal, Clock& clock);

    void update(std::size_t done, std::size_t total);
    // Ends the bar's line, so that what follows starts on a fresh one.
    void finish();

private:
    std::ostream& out_;
    bool terminal_;
    Clock& clock_;
    Micros started_;
    int lastTenth_ = -1;
    bool drawn_ = false;
};

}  // namespace towerlink::tool
