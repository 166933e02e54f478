// The virtual brick's ROM: the part of the RCX that answers while no firmware runs, and that
// takes a new firmware image. It checks what the real ROM checks: blocks in order (1, 2, ...,
// the last one numbered 0), each block's checksum, and at the end the image checksum announced
// when the download started (at the last block, or at Unlock firmware when no block numbered 0
// came). After a good download, Unlock firmware starts the image.
//
// The ROM counts a block whose checksum was wrong as received all the same, so the sender must
// resend its data under the next block number; the virtual ROM keeps that quirk, since programs
// written for the real brick rely on it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "Firmware.h"
#include "Packet.h"

namespace towerlink {

class VirtualRom {
public:
    // The version of the firmware a virtual brick comes with.
    static constexpr FirmwareVersion kBuiltInVersion{3, 9};

    // The reply data to one of the ROM's download requests (Delete firmware, Start firmware
    // download, Transfer data, Unlock firmware), or nothing when the ROM stays silent.
    // `firmware` is whether firmware runs; the ROM clears and sets it.
    std::optional<Bytes> execute(std::uint8_t opcode, std::span<const std::uint8_t> params,
                                 bool& firmware);

    // What Get versions reports for the firmware while it runs.
    FirmwareVersion version() const { return version_; }
    // The last image received whole and verified.
    const Bytes& image() const { return image_; }
    // The entry address announced with the last download (any address in the firmware area).
    std::uint16_t entry() const { return entry_; }

private:
    std::optional<Bytes> transfer(std::span<const std::uint8_t> params);

    FirmwareVersion version_ = kBuiltInVersion;
    bool downloading_ = false;
    bool verified_ = false;
    std::uint16_t expectedChecksum_ = 0;
    std::uint16_t entry_ = 0;
    int nextBlock_ = 1;
    Bytes received_;
    Bytes image_;
};

}  // namespace towerlink
