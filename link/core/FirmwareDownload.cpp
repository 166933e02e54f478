// The firmware download sequence.
#include "FirmwareDownload.h"

#include <algorithm>
#include <cstring>

#include "LittleEndian.h"
#include "Opcodes.h"

namespace towerlink {
namespace {

using Outcome = Result<FirmwareVersion, DownloadFailure>;

DownloadFailure failed(LinkError error, std::string message, int block = -1) {
    return {{error, std::move(message), 0}, block};
}

// The link's own failure, with the step prefixed to its message.
DownloadFailure failed(const Failure& f, const std::string& step, int block = -1) {
    return {{f.error, step + ": " + f.message, f.osError}, block};
}

Request keyed(std::uint8_t opcode, const std::uint8_t (&key)[5]) {
    Request r{{opcode}};
    r.payload.insert(r.payload.end(), std::begin(key), std::end(key));
    return r;
}

Request transferData(int block, std::span<const std::uint8_t> data) {
    Request r{{op::kTransferData}};
    pushU16(r.payload, block);
    pushU16(r.payload, static_cast<long long>(data.size()));
    r.payload.insert(r.payload.end(), data.begin(), data.end());
    r.payload.push_back(blockChecksum(data));
    return r;
}

std::string blockText(int block) {
    return block == 0 ? "the last block (0)" : "block " + std::to_string(block);
}

}  // namespace

Outcome downloadFirmware(Session& session, const FirmwareImage& image,
                         const DownloadProgress& progress, DownloadOptions options) {
    const std::size_t total = image.data.size();
    if (total == 0 || total > kFirmwareAreaEnd - kFirmwareAreaStart || options.blockSize == 0 ||
        options.blockSize > op::kMaxTransferLength) {
        DownloadFailure f =
            failed(LinkError::BadArgument, "the image does not fit the brick's firmware area");
        f.untouched = true;
        return f;
    }
    ExecuteResult alive = session.execute(Request::alive());
    if (!alive || alive->value == 0) {
        DownloadFailure f =
            alive ? failed(LinkError::NoBrick, "alive check: the brick does not answer (is it on?)")
                  : failed(alive.error(), "alive check");
        f.untouched = true;
        return f;
    }
    // The ROM ignores a download while firmware is present, so that goes first.
    ExecuteResult deleted = session.execute(keyed(op::kDeleteFirmware, op::kVersionKey));
    if (!deleted) return failed(deleted.error(), "delete firmware");

    const std::uint16_t checksum = firmwareChecksum(image.data);
    Request start{{op::kStartFirmwareDownload}};
    pushU16(start.payload, image.entry);
    pushU16(start.payload, checksum);
    start.payload.push_back(0);
    ExecuteResult started = session.execute(start);
    if (!started) return failed(started.error(), "start download");
    if (started->data.at(0) != 0) {
        return failed(LinkError::BadCommunication, "start download: the brick refused it (code " +
                                                       std::to_string(started->data[0]) + ")");
    }

    if (progress) progress(0, total);
    std::size_t done = 0;
    int number = 1;  // the ROM's block counter, which advances with every block it answers
    while (done < total) {
        const std::size_t length = std::min(options.blockSize, total - done);
        const bool last = done + length == total;
        const std::span<const std::uint8_t> data(image.data.data() + done, length);
        int attempts = 0;
        for (;;) {
            const int block = last ? 0 : number;
            ExecuteResult r = session.execute(transferData(block, data));
            if (!r) return failed(r.error(), "sending " + blockText(block), block);
            ++number;
            const auto code = static_cast<TransferStatus>(r->data.at(0));
            if (code == TransferStatus::Ok) break;
            // A damaged block is counted by the ROM all the same: resend under the next number.
            if (code == TransferStatus::BlockChecksum && ++attempts < options.blockAttempts)
                continue;
            const std::string why =
                code == TransferStatus::BlockChecksum ? "the brick keeps finding its checksum wrong"
                : code == TransferStatus::ImageChecksum ? "the brick found the image checksum wrong"
                : code == TransferStatus::NoDownload
                    ? "the brick has no download under way"
                    : "the brick answered code " + std::to_string(r->data[0]);
            return failed(LinkError::BadCommunication, blockText(block) + ": " + why, block);
        }
        done += length;
        if (progress) progress(done, total);
    }

    ExecuteResult unlocked = session.execute(keyed(op::kUnlockFirmware, op::kUnlockKey));
    if (!unlocked) return failed(unlocked.error(), "unlock firmware");
    const Bytes& text = unlocked->data;
    if (text.size() != std::strlen(op::kUnlockReply) ||
        !std::equal(text.begin(), text.end(), op::kUnlockReply)) {
        return failed(LinkError::BadCommunication, "unlock firmware: unexpected answer");
    }
    ExecuteResult versions = session.execute(Request::getVersions());
    if (!versions) return failed(versions.error(), "reading the versions back");
    const FirmwareVersion version = firmwareVersionOf(versions->data).value_or(FirmwareVersion{});
    if (version == FirmwareVersion{}) {
        return failed(LinkError::NoFirmware, "the brick still reports no firmware after unlock");
    }
    return version;
}

}  // namespace towerlink
