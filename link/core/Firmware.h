// Facts about the brick's firmware that both ends of a download share: the version layout of
// Get versions, the image checksum the ROM verifies, and the status codes of Transfer data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "Packet.h"

namespace towerlink {

struct FirmwareVersion {
    int major = 0;
    int minor = 0;
    bool operator==(const FirmwareVersion&) const = default;
};

// Get versions answers four big-endian 16-bit words: ROM major, ROM minor, firmware major,
// firmware minor; firmware 0.0 means that none runs.
inline constexpr FirmwareVersion kRomVersion{3, 1};
Bytes versionsReply(FirmwareVersion rom, FirmwareVersion firmware);
std::optional<FirmwareVersion> firmwareVersionOf(std::span<const std::uint8_t> versionsReply);

// The image checksum the ROM computes: the 16-bit sum of the first 0x4C00 bytes.
std::uint16_t firmwareChecksum(std::span<const std::uint8_t> image);

// What the brick answers to a begin-download or a Transfer data block.
enum class TransferStatus : std::uint8_t {
    Ok = 0,
    NoMemory = 1,       // the program does not fit the user memory
    BadIndex = 2,       // no such task or subroutine
    BlockChecksum = 3,  // the block arrived damaged, or overran its chunk
    ImageChecksum = 4,  // the whole firmware image did not add up
    NoDownload = 6,     // no download is under way
};

// The 8-bit sum of a block's data, which travels after it.
std::uint8_t blockChecksum(std::span<const std::uint8_t> data);

}  // namespace towerlink
