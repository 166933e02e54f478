// The byte orders of the RCX's 16-bit fields: low byte first in requests, replies and program
// images; high byte first in the two replies that show the brick's own words (Get versions and
// Get memory map).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace towerlink {

// The unsigned 16-bit field at `at`.
constexpr std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// The same field read as the brick's signed 16-bit value.
constexpr std::int16_t readS16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int16_t>(readU16(bytes, at));
}

// Appends the low 16 bits of `value`, low byte first.
inline void pushU16(std::vector<std::uint8_t>& out, long long value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// The same field, high byte first.
constexpr std::uint16_t readBigU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

inline void pushBigU16(std::vector<std::uint8_t>& out, long long value) {
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

}  // namespace towerlink
