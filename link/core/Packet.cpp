// Packet framing and the complement/checksum check shared by both decoders.
#include "Packet.h"

namespace towerlink {

Bytes encodePacket(std::span<const std::uint8_t> payload) {
    Bytes out{0x55, 0xFF, 0x00};
    out.reserve(packetLength(payload.size()));
    std::uint8_t sum = 0;
    for (std::uint8_t b : payload) {
        out.push_back(b);
        out.push_back(static_cast<std::uint8_t>(~b));
        sum = static_cast<std::uint8_t>(sum + b);
    }
    out.push_back(sum);
    out.push_back(static_cast<std::uint8_t>(~sum));
    return out;
}

FrameCheck checkFrame(std::span<const std::uint8_t> body, std::size_t payloadLength,
                      Bytes& payload) {
    const std::size_t pairs = payloadLength + 1;  // payload bytes and the checksum
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        if (body.size() < 2 * i + 2) return FrameCheck::Incomplete;
        const std::uint8_t b = body[2 * i];
        if (static_cast<std::uint8_t>(b ^ body[2 * i + 1]) != 0xFF) return FrameCheck::Invalid;
        if (i < payloadLength) {
            sum = static_cast<std::uint8_t>(sum + b);
        } else if (b != sum) {
            return FrameCheck::Invalid;
        }
    }
    payload.clear();
    for (std::size_t i = 0; i < payloadLength; ++i) payload.push_back(body[2 * i]);
    return FrameCheck::Valid;
}

}  // namespace towerlink
