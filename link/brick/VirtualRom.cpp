// The ROM's download requests, as the virtual brick answers them.
#include "VirtualRom.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "ByteOrder.h"
#include "Opcodes.h"
#include "SRecord.h"

namespace towerlink {
namespace {

Bytes status(TransferStatus s) {
    return Bytes{static_cast<std::uint8_t>(s)};
}

bool keyIs(std::span<const std::uint8_t> params, const std::uint8_t (&key)[5]) {
    return params.size() == 5 && std::equal(params.begin(), params.end(), std::begin(key));
}

// A real brick learns its firmware's version by running it; the virtual one cannot run code,
// so it looks for a tag "FWVER" followed by the major and minor number in the image and
// otherwise reports the version of the firmware it comes with.
FirmwareVersion versionOf(const Bytes& image) {
    constexpr std::string_view tag = "FWVER";
    auto it = std::search(image.begin(), image.end(), tag.begin(), tag.end());
    if (it == image.end() || image.end() - it < static_cast<std::ptrdiff_t>(tag.size() + 2)) {
        return VirtualRom::kBuiltInVersion;
    }
    FirmwareVersion v{it[tag.size()], it[tag.size() + 1]};
    // 0.0 is what the ROM reports for "no firmware"; running firmware never says so.
    return v == FirmwareVersion{} ? VirtualRom::kBuiltInVersion : v;
}

}  // namespace

std::optional<Bytes> VirtualRom::execute(std::uint8_t opcode, std::span<const std::uint8_t> p,
                                         bool& firmware) {
    switch (opcode) {
        case op::kDeleteFirmware:
            if (!keyIs(p, op::kVersionKey)) return std::nullopt;
            firmware = false;
            downloading_ = verified_ = false;
            return Bytes{};
        case op::kStartFirmwareDownload:
            if (firmware) return std::nullopt;  // ignored while firmware runs
            downloading_ = true;
            verified_ = false;
            entry_ = readU16(p, 0);
            expectedChecksum_ = readU16(p, 2);
            nextBlock_ = 1;
            received_.clear();
            return status(TransferStatus::Ok);
        case op::kTransferData:
            // Running firmware uses this request for programs, none of which is under way.
            if (firmware || !downloading_) return status(TransferStatus::NoDownload);
            return transfer(p);
        case op::kUnlockFirmware:
            if (!keyIs(p, op::kUnlockKey)) return std::nullopt;
            if (!firmware) {
                // Some downloaders (brickOS's firmdl3) number their last block like the others
                // instead of 0; the ROM then checks the image when asked to start it.
                if (!verified_ && downloading_ && !received_.empty() &&
                    firmwareChecksum(received_) == expectedChecksum_) {
                    downloading_ = false;
                    image_ = received_;
                    verified_ = true;
                }
                if (!verified_) return std::nullopt;  // nothing to start
                firmware = true;
                verified_ = false;
                version_ = versionOf(image_);
            }
            return Bytes(op::kUnlockReply, op::kUnlockReply + std::strlen(op::kUnlockReply));
        default: return std::nullopt;
    }
}

std::optional<Bytes> VirtualRom::transfer(std::span<const std::uint8_t> p) {
    const int block = readU16(p, 0);
    const std::size_t length = readU16(p, 2);
    if (block != 0 && block != nextBlock_) return std::nullopt;  // out of order: no reply
    const std::span<const std::uint8_t> data = p.subspan(4, length);
    ++nextBlock_;  // also after a bad block: the ROM's quirk
    if (blockChecksum(data) != p[4 + length]) return status(TransferStatus::BlockChecksum);
    if (received_.size() + length > kFirmwareAreaEnd - kFirmwareAreaStart) {
        downloading_ = false;  // past the end of memory: the download is lost
        return status(TransferStatus::ImageChecksum);
    }
    received_.insert(received_.end(), data.begin(), data.end());
    if (block != 0) return status(TransferStatus::Ok);
    downloading_ = false;
    if (firmwareChecksum(received_) != expectedChecksum_)
        return status(TransferStatus::ImageChecksum);
    image_ = received_;
    verified_ = true;
    return status(TransferStatus::Ok);
}

}  // namespace towerlink
