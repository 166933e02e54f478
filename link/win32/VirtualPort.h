// The VIRTUAL port: a virtual brick inside the process behind an in-memory serial tower, so that
// every call travels the same packet path (echo, framing, retries) as on a real line, only
// without the line's delays.
//
// TOWERLINK_VIRTUAL_FAULTS, read when the port opens, sets up the brick and the room it is in,
// to show how the link behaves when things go wrong. A comma-separated list of:
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
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "MemoryTransport.h"
#include "Result.h"
#include "VirtualBrick.h"

namespace towerlink {

struct VirtualPortSettings {
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
};

// The settings, or a sentence saying which item is wrong.
Result<VirtualPortSettings, std::wstring> parseVirtualPortSettings(std::wstring_view text);
// The same for the value of TOWERLINK_VIRTUAL_FAULTS, read whole however long it is.
Result<VirtualPortSettings, std::wstring> virtualPortSettingsFromEnvironment();

class VirtualPort final : public Transport {
public:
    explicit VirtualPort(const VirtualPortSettings& settings);

    IoResult write(std::span<const std::uint8_t> bytes) override;
    IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) override;
    bool echoes() const override { return true; }
    void discardInput() override { tower_.discardInput(); }

    VirtualBrick& brick() { return brick_; }
    Clock& clock() { return clock_; }

private:
    SystemClock clock_;
    VirtualBrick brick_;
    MemoryTransport tower_;
    bool otherDevice_;
    std::optional<std::uint8_t> message_;
};

}  // namespace towerlink
