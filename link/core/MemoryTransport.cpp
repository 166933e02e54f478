// In-memory tower: timing of echo and reply bytes, and reads against the injected clock.
#include "MemoryTransport.h"

#include <algorithm>

namespace towerlink {

MemoryTransport::MemoryTransport(VirtualBrick& brick, Clock& clock, MemoryTransportOptions options)
    : brick_(brick), clock_(clock), options_(options) {}

void MemoryTransport::queue(std::span<const std::uint8_t> bytes, Micros start) {
    const Micros byteTime = options_.paced ? kByteTime : Micros{0};
    Micros at = start;
    if (!incoming_.empty()) at = std::max(at, incoming_.back().second);
    for (std::uint8_t b : bytes) {
        at += byteTime;
        incoming_.emplace_back(b, at);
    }
}

IoResult MemoryTransport::write(std::span<const std::uint8_t> bytes) {
    if (unplugged_) return IoResult::failure("writing to the tower", 0);
    bytesWritten_ += bytes.size();
    if (!towerPresent_) return IoResult::done(bytes.size());
    const Micros now = clock_.now();
    // The echo comes back while the request is still being sent; the brick can answer only
    // once the last byte has crossed the line.
    if (options_.echo) queue(bytes, now);
    Bytes reply = brick_.receive(bytes);
    const Micros sent = now + (options_.paced ? wireTime(bytes.size()) : Micros{0});
    queue(reply, sent + brick_.faults().replyDelay);
    return IoResult::done(bytes.size());
}

void MemoryTransport::inject(std::span<const std::uint8_t> bytes) {
    queue(bytes, clock_.now());
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
    bytesRead_ += result.count;
    return result;
}

void MemoryTransport::discardInput() {
    const Micros now = clock_.now();
    while (!incoming_.empty() && incoming_.front().second <= now) incoming_.pop_front();
}

}  // namespace towerlink
