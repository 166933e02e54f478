// In-memory tower: timing of echo and reply bytes, and reads against the injected clock.
#include "MemoryTransport.h"

#include <algorithm>

namespace towerlink {

MemoryTransport::MemoryTransport(VirtualBrick& brick, Clock& clock, MemoryTransportOptions options)
    : brick_(brick), clock_(clock), options_(options) {}

Micros MemoryTransport::queue(std::span<const std::uint8_t> bytes, Micros start,
                              const Pause& pause) {
    const Micros byteTime = options_.paced ? kByteTime : Micros{0};
    Micros at = start;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == pause.afterBytes) at += pause.length;
        at += byteTime;
        // Kept in order of arrival; the echo and the brick's bytes travel independently.
        auto pos = std::upper_bound(incoming_.begin(), incoming_.end(), at,
                                    [](Micros t, const auto& entry) { return t < entry.second; });
        incoming_.emplace(pos, bytes[i], at);
    }
    return at;
}

IoResult MemoryTransport::write(std::span<const std::uint8_t> bytes) {
    if (unplugged_) return IoResult::failure("writing to the tower", 0);
    if (!towerPresent_) return IoResult::done(bytes.size());
    const Micros now = clock_.now();
    // The echo comes back while the request is still being sent; the brick can answer only
    // once the last byte has crossed the line.
    if (options_.echo) queue(bytes, now, {});
    if (now < brickBusyUntil_) return IoResult::done(bytes.size());
    Bytes reply = brick_.receive(bytes);
    const Micros sent = now + (options_.paced ? wireTime(bytes.size()) : Micros{0});
    const Micros start = std::max(sent + brick_.faults().replyDelay, brickLineFree_);
    const Pause pause = nextPause_.value_or(Pause{});
    if (!reply.empty()) nextPause_.reset();
    brickLineFree_ = queue(reply, start, pause);
    brickBusyUntil_ = brickLineFree_ - (pause.brickHalts ? Micros{0} : pause.length);
    return IoResult::done(bytes.size());
}

void MemoryTransport::inject(std::span<const std::uint8_t> bytes, Micros after) {
    queue(bytes, clock_.now() + after, {});
}

void MemoryTransport::pauseNextReply(std::size_t afterBytes, Micros length, bool brickHalts) {
    nextPause_ = Pause{afterBytes, length, brickHalts};
}

IoResult MemoryTransport::read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) {
    if (unplugged_) return IoResult::failure("reading from the tower", 0);
    IoResult result;
    Micros deadline = clock_.now() + firstByte;
    while (result.count < buffer.size()) {
        if (incoming_.empty() || incoming_.front().second > deadline) {
            clock_.sleepUntil(deadline);
            break;
        }
        clock_.sleepUntil(incoming_.front().second);
        buffer[result.count++] = incoming_.front().first;
        incoming_.pop_front();
        deadline = clock_.now() + interByte;
    }
    brick_.runPrograms();  // time has passed for the brick too
    return result;
}

void MemoryTransport::discardInput() {
    const Micros now = clock_.now();
    while (!incoming_.empty() && incoming_.front().second <= now) incoming_.pop_front();
}

}  // namespace towerlink
