// How a virtual brick and the room it is in are set up, to show how the link behaves when things
// go wrong. Given as a comma-separated list (the VIRTUAL port's TOWERLINK_VIRTUAL_FAULTS, the
// tool's --faults) of:
//   notower      no tower on the port: nothing comes back, not even the echo
//   badtower     another device on the port answers every request with "OK"
//   silent       the brick is off or out of reach
//   nofirmware   the brick holds no firmware
//   battery=MV   the brick's battery reads MV millivolts
//   noise=P      P percent of the bytes on the line are damaged, both ways unless noiseway says
//   noiseway=W   which bytes noise damages: both (the default), in (the requests the brick
//                hears) or out (the replies it sends)
//   sequence=N   which repeatable series of damage noise produces (default 1)
//   message=M    another brick broadcasts message M during the first exchange
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Result.h"

namespace towerlink {

struct VirtualBrickSettings {
    bool towerPresent = true;
    bool otherDevice = false;
    bool silent = false;
    bool firmware = true;
    std::optional<int> batteryMillivolts;
    double noisePercent = 0;
    bool noiseIn = true;
    bool noiseOut = true;
    std::uint32_t faultSequence = 1;
    std::optional<std::uint8_t> message;
    bool operator==(const VirtualBrickSettings&) const = default;
};

// The settings, or a sentence saying which item is wrong.
Result<VirtualBrickSettings, std::string> parseVirtualBrickSettings(std::string_view text);

}  // namespace towerlink
