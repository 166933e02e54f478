// Firmware facts shared by the download and the virtual brick's ROM.
#include "Firmware.h"

#include <algorithm>

#include "ByteOrder.h"

namespace towerlink {
namespace {

constexpr std::size_t kChecksummedBytes = 0x4C00;

}  // namespace

Bytes versionsReply(FirmwareVersion rom, FirmwareVersion firmware) {
    Bytes out;
    for (int v : {rom.major, rom.minor, firmware.major, firmware.minor}) pushBigU16(out, v);
    return out;
}

std::optional<FirmwareVersion> firmwareVersionOf(std::span<const std::uint8_t> reply) {
    if (reply.size() < 8) return std::nullopt;
    return FirmwareVersion{readBigU16(reply, 4), readBigU16(reply, 6)};
}

std::uint16_t firmwareChecksum(std::span<const std::uint8_t> image) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < std::min(image.size(), kChecksummedBytes); ++i) {
        sum = static_cast<std::uint16_t>(sum + image[i]);
    }
    return sum;
}

std::uint8_t blockChecksum(std::span<const std::uint8_t> data) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : data) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

}  // namespace towerlink
