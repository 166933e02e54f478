// The virtual brick's console: lines a user types while the brick serves, to move its sensors,
// press its Run button and look inside it. Pure text in, text out; the host reads the lines.
#pragma once

#include <string>
#include <string_view>

#include "Result.h"

namespace towerlink {

class VirtualBrick;

struct ConsoleError {
    std::string message;
};

class BrickConsole {
public:
    explicit BrickConsole(VirtualBrick& brick) : brick_(brick) {}

    // Carries out one line: `sensor N RAW`, `press N`, `release N`, `run`, `show`. Returns
    // what to print (empty for most), or why the line was refused.
    Result<std::string, ConsoleError> execute(std::string_view line);

    // Running tasks with their addresses, variables that are not 0, motors and the display.
    std::string show() const;

    static constexpr const char* kHelp =
        "sensor N RAW (N 1-3, RAW 0-1023), press N, release N, run, show";

private:
    VirtualBrick& brick_;
};

}  // namespace towerlink
