// A tower that exists only in memory: what is written goes straight into a VirtualBrick, and
// what the brick transmits is read back, with the serial tower's echo if asked for. Single
// threaded and synchronous, so it works the same inside a test and inside TowerLink.dll. With
// `paced`, bytes become readable only as fast as a 2400 baud line would deliver them; waiting is
// done on the injected clock, so a ManualClock makes even that instant. Like the infrared link it
// stands for, it is half duplex: a request written while the brick is still transmitting never
// reaches the brick (its echo still comes back).
#pragma once

#include <deque>
#include <optional>
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
    // Makes `bytes` arrive from the brick's side `after` from now (at line pace when paced),
    // e.g. a message another brick broadcasts or the stale end of an old reply.
    void inject(std::span<const std::uint8_t> bytes, Micros after = Micros{0});
    // Holds the next reply up for `length` after its first `afterBytes` bytes. With
    // `brickHalts` the brick itself stops (and stays deaf, since it is still transmitting);
    // otherwise the bytes left the brick on time and something on the way (a loaded computer,
    // an adapter's buffer) holds them, so the brick is free to hear the next request.
    void pauseNextReply(std::size_t afterBytes, Micros length, bool brickHalts = true);

private:
    struct Pause {
        std::size_t afterBytes = 0;
        Micros length{0};
        bool brickHalts = true;
    };
    // Schedules `bytes` one after another from `start`, each `pause` applied; returns the time
    // the last one arrives.
    Micros queue(std::span<const std::uint8_t> bytes, Micros start, const Pause& pause);

    VirtualBrick& brick_;
    Clock& clock_;
    MemoryTransportOptions options_;
    std::deque<std::pair<std::uint8_t, Micros>> incoming_;  // byte, time it becomes readable
    Micros brickBusyUntil_{0};
    Micros brickLineFree_{0};
    std::optional<Pause> nextPause_;
    bool towerPresent_ = true;
    bool unplugged_ = false;
};

}  // namespace towerlink
