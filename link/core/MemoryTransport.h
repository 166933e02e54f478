// A tower that exists only in memory: what is written goes straight into a VirtualBrick, and
// what the brick transmits is read back, with the serial tower's echo if asked for. Single
// threaded and synchronous, so it works the same inside a test and inside TowerLink.dll. With
// `paced`, bytes become readable only as fast as a 2400 baud line would deliver them; waiting is
// done on the injected clock, so a ManualClock makes even that instant.
#pragma once

#include <deque>
#include <utility>

#include "Transport.h"
#include "VirtualBrick.h"

namespace towerlink {

struct MemoryTransportOptions {
    bool echo = false;   // behave as the serial tower (true) or the USB tower (false)
    bool paced = false;  // deliver bytes at line speed rather than at once
};

class MemoryTransport final : public Transport {
public:
    MemoryTransport(VirtualBrick& brick, Clock& clock, MemoryTransportOptions options = {});

    IoResult write(std::span<const std::uint8_t> bytes) override;
    IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) override;
    bool echoes() const override { return options_.echo; }
    void discardInput() override;

    // An absent tower accepts writes and returns nothing, not even the echo.
    void setTowerPresent(bool present) { towerPresent_ = present; }
    // Fails every call, as an unplugged device does.
    void setUnplugged(bool unplugged) { unplugged_ = unplugged; }
    // Makes `bytes` arrive from the brick's side now, e.g. a message it broadcasts.
    void inject(std::span<const std::uint8_t> bytes);

    std::size_t bytesWritten() const { return bytesWritten_; }
    std::size_t bytesRead() const { return bytesRead_; }

private:
    void queue(std::span<const std::uint8_t> bytes, Micros start);

    VirtualBrick& brick_;
    Clock& clock_;
    MemoryTransportOptions options_;
    std::deque<std::pair<std::uint8_t, Micros>> incoming_;  // byte, time it becomes readable
    bool towerPresent_ = true;
    bool unplugged_ = false;
    std::size_t bytesWritten_ = 0;
    std::size_t bytesRead_ = 0;
};

}  // namespace towerlink
