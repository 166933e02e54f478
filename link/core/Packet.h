// RCX packet framing: the bytes of one request or reply as they travel over infrared.
//
//   55 FF 00  d1 ~d1  d2 ~d2 ... dn ~dn  C ~C      C = (d1 + ... + dn) & 0xFF
//
// The same framing serves both directions; d1 is the opcode. Decoding lives in ReplyDecoder
// (PC side) and RequestDecoder (brick side), which both use checkFrame() below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Clock.h"

namespace towerlink {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kToggleBit = 0x08;
inline constexpr std::size_t kHeaderLength = 3;

// Frames `payload` (opcode first) for the wire.
Bytes encodePacket(std::span<const std::uint8_t> payload);

// Wire length of a packet carrying `payloadLength` bytes, opcode included.
constexpr std::size_t packetLength(std::size_t payloadLength) {
    return kHeaderLength + 2 * payloadLength + 2;
}

// The brick answers opcode x with ~x, toggle bit included.
constexpr std::uint8_t replyOpcode(std::uint8_t requestOpcode) {
    return static_cast<std::uint8_t>(~requestOpcode);
}

// Opcode with the toggle bit cleared, the form used to look commands up.
constexpr std::uint8_t baseOpcode(std::uint8_t opcode) {
    return static_cast<std::uint8_t>(opcode & ~kToggleBit);
}

// Time `bytes` bytes take on a 2400 baud 8O1 line: start, 8 data, parity, stop = 11 bit times
// each.
constexpr Micros wireTime(std::size_t bytes) {
    return Micros{static_cast<std::int64_t>(bytes) * 11 * 1000000 / 2400};
}

// One byte on the line.
inline constexpr Micros kByteTime = wireTime(1);

// Whether a `FF 00` sync, the start of a frame after the leading 55, stands at `i`.
constexpr bool syncAt(std::span<const std::uint8_t> bytes, std::size_t i) {
    return i + 1 < bytes.size() && bytes[i] == 0xFF && bytes[i + 1] == 0x00;
}

// Moves `i` forward to the next sync. Without one it stops at the last byte, which may yet start
// a sync, and returns false.
constexpr bool seekSync(std::span<const std::uint8_t> bytes, std::size_t& i) {
    for (; i + 1 < bytes.size(); ++i) {
        if (syncAt(bytes, i)) return true;
    }
    return false;
}

enum class FrameCheck { Valid, Incomplete, Invalid };

// Checks the frame body that starts right after a `FF 00` sync at `body` and carries
// `payloadLength` payload bytes: every complement pair and the checksum. On Valid, the payload
// is written to `payload`.
FrameCheck checkFrame(std::span<const std::uint8_t> body, std::size_t payloadLength,
                      Bytes& payload);

}  // namespace towerlink
