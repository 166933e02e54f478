// A virtual brick inside the process behind an in-memory serial tower, set up by its settings,
// so that every call travels the same packet path (echo, framing, retries) as on a real line,
// only without the line's delays. TowerLink's VIRTUAL port and the tool's `virtual` port.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "MemoryTransport.h"
#include "StandingBrick.h"

namespace towerlink {

class VirtualBrickTransport final : public Transport {
public:
    // A brick of its own, set up by the settings.
    explicit VirtualBrickTransport(const VirtualBrickSettings& settings);
    // The given brick, which may have outlived other towers, in a room the settings describe:
    // the tower and the line start afresh with each port, the brick keeps what it holds.
    VirtualBrickTransport(std::shared_ptr<StandingBrick> brick,
                          const VirtualBrickSettings& settings);

    IoResult write(std::span<const std::uint8_t> bytes) override;
    IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) override;
    bool echoes() const override { return true; }
    void discardInput() override { tower_.discardInput(); }

private:
    std::shared_ptr<StandingBrick> standing_;
    VirtualBrick& brick_;
    MemoryTransport tower_;
    bool otherDevice_;
    std::optional<std::uint8_t> message_;
};

}  // namespace towerlink
