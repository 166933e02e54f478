// The virtual brick behind its in-memory tower.
#include "VirtualBrickTransport.h"

namespace towerlink {

VirtualBrickTransport::VirtualBrickTransport(const VirtualBrickSettings& settings)
    : VirtualBrickTransport(std::make_shared<StandingBrick>(settings), settings) {}

VirtualBrickTransport::VirtualBrickTransport(std::shared_ptr<StandingBrick> brick,
                                             const VirtualBrickSettings& settings)
    : standing_(std::move(brick)),
      brick_(standing_->brick()),
      tower_(brick_, standing_->clock(), {.echo = true, .paced = false}),
      otherDevice_(settings.otherDevice),
      message_(settings.message) {
    tower_.setTowerPresent(settings.towerPresent);
    BrickFaults faults;
    faults.silent = settings.silent;
    faults.corruptRate = settings.noisePercent / 100.0;
    faults.inbound = settings.noiseIn;
    faults.outbound = settings.noiseOut;
    brick_.setFaults(faults);
    // Each port's line damages the same bytes, however long the brick has stood there.
    brick_.restartFaults(settings.faultSequence);
}

IoResult VirtualBrickTransport::write(std::span<const std::uint8_t> bytes) {
    if (otherDevice_) {
        static constexpr std::uint8_t kModemAnswer[] = {'O', 'K', '\r', '\n'};
        tower_.inject(kModemAnswer);
        return IoResult::done(bytes.size());
    }
    if (!message_) return tower_.write(bytes);
    // The other brick's message lands between the echo and the brick's reply, where the link
    // looks for it.
    tower_.inject(bytes);
    const Bytes broadcast = VirtualBrick::messagePacket(*message_);
    tower_.inject(broadcast);
    message_.reset();
    const Bytes reply = brick_.receive(bytes);
    tower_.inject(reply);
    return IoResult::done(bytes.size());
}

IoResult VirtualBrickTransport::read(std::span<std::uint8_t> buffer, Micros firstByte,
                                     Micros interByte) {
    return tower_.read(buffer, firstByte, interByte);
}

}  // namespace towerlink
