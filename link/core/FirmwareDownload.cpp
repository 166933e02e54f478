// The firmware download sequence.
#include "FirmwareDownload.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "ByteOrder.h"
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

// Requests in a row that get no reply before the download gives up.
constexpr int kBlockFailures = 24;

Request keyed(std::uint8_t opcode, const std::uint8_t (&key)[5]) {
    Request r{{opcode}};
    r.payload.insert(r.payload.end(), std::begin(key), std::end(key));
    return r;
}

// Failures that a noisy line explains; anything else ends the download at once.
bool noisy(const Failure& f) {
    return f.error == LinkError::BadCommunication || f.error == LinkError::NoBrick;
}

// Sends a request that may safely run twice, again while the line damages its exchanges: the
// few steps around the blocks are short, but Unlock firmware's long answer often arrives
// damaged on a noisy line.
ExecuteResult executeRepeatable(Session& session, const Request& request) {
    ExecuteResult r = session.execute(request);
    for (int i = 1; i < 8 && !r && noisy(r.error()); ++i) {
        r = session.execute(request);
    }
    return r;
}

// Sends the image in blocks whose size follows the line, as datalog uploads do: a quarter as
// long after a block that did not get through, a quarter longer after each one that did.
//
// A block whose replies all came back damaged was heard, and so taken, by the brick; one that
// met silence was not. Neither is certain, and the ROM expects a different block number in each
// case, so the next request tests one of the two: the block after it (when it was taken) or the
// same place again, shorter (when it was not). The ROM stays silent to the wrong number, so a
// silence switches to the other guess and only a reply settles it. The last block (number 0) is
// taken whatever the count, so it goes only once the count is settled; when the unsettled block
// was itself the last, sending it again settles it (a brick that took it has no download left).
std::optional<DownloadFailure> sendImage(Session& session, std::span<const std::uint8_t> image,
                                         const DownloadProgress& progress,
                                         const DownloadOptions& options) {
    const std::size_t total = image.size();
    std::size_t done = 0;     // bytes the brick surely holds
    int number = 1;           // the block number the ROM expects after `done`
    std::size_t pending = 0;  // a block at `done` the brick may have taken, 0 for none
    bool guessTaken = true;
    std::size_t chunk = options.blockSize;
    int failures = 0, silentPings = 0, badChecksums = 0, untestable = 0;
    while (done < total) {
        if (untestable >= 3) {
            // One byte after the unsettled block leaves no block to test it with; a brick
            // that stays silent to the same place three times has taken it.
            done += pending, ++number;
            pending = 0;
            untestable = 0;
        }
        const std::size_t rest = total - done;
        const bool testsTaken = pending != 0 && guessTaken && rest - pending >= 2;
        std::size_t at = testsTaken ? done + pending : done;
        std::size_t length = pending == rest ? rest : std::min(chunk, total - at);
        // While a block is unsettled the next must not be the last; and no block leaves a
        // single byte behind it, which could not test it if it went unsettled.
        if (pending != 0 && pending != rest && at + length == total) --length;
        if (total - at - length == 1 && length > 1) --length;
        const int block = at + length == total ? 0 : testsTaken ? number + 1 : number;
        const std::span<const std::uint8_t> data = image.subspan(at, length);
        ExecuteResult r = session.execute(Request::transferData(block, data));
        if (r) {
            failures = untestable = 0;
            auto code = static_cast<TransferStatus>(r->data.at(0));
            // A brick that took the last block has no download left to answer it with.
            if (pending == rest && code == TransferStatus::NoDownload) code = TransferStatus::Ok;
            if (code == TransferStatus::Ok || code == TransferStatus::BlockChecksum) {
                if (testsTaken) done += pending, ++number;
                pending = 0;
                ++number;  // a damaged block is counted by the ROM all the same
                if (code == TransferStatus::Ok) {
                    done = at + length;
                    badChecksums = 0;
                    chunk =
                        std::min(options.blockSize, chunk + std::max<std::size_t>(1, chunk / 4));
                    if (progress) progress(done, total);
                    continue;
                }
                if (++badChecksums < options.blockAttempts) continue;
            }
            const std::string why =
                code == TransferStatus::BlockChecksum ? "the brick keeps finding its checksum wrong"
                : code == TransferStatus::ImageChecksum ? "the brick found the image checksum wrong"
                : code == TransferStatus::NoDownload
                    ? "the brick has no download under way"
                    : "the brick answered code " + std::to_string(r->data[0]);
            return failed(LinkError::BadCommunication, blockText(block) + ": " + why, block);
        }
        const Failure& f = r.error();
        if (!noisy(f)) return failed(f, "sending " + blockText(block), block);
        chunk = std::max<std::size_t>(1, length > 8 ? length / 4 : length / 2);
        if (f.error == LinkError::BadCommunication) {
            if (testsTaken) done += pending, ++number;
            pending = length;
            guessTaken = true;
        } else {
            guessTaken = !guessTaken;
            if (pending != 0 && pending != rest && rest - pending < 2) ++untestable;
        }
        // A ping before the next block clears the brick's memory of the last request, so the
        // next one is always taken as new, and tells a brick that is gone from a noisy line.
        for (;;) {
            const std::string step = "sending " + blockText(block);
            if (++failures >= kBlockFailures) {
                return failed(LinkError::BadCommunication,
                              step + ": the line is too noisy (" + f.message + ")", block);
            }
            ExecuteResult ping = session.execute(Request::alive());
            if (ping && ping->value != 0) {
                silentPings = 0;
                break;
            }
            if (!ping && !noisy(ping.error())) return failed(ping.error(), step, block);
            if (ping && ++silentPings >= 2) {
                return failed(LinkError::NoBrick,
                              step + ": the brick does not answer (is it on and in range?)", block);
            }
        }
    }
    return std::nullopt;
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
    ExecuteResult deleted = executeRepeatable(session, keyed(op::kDeleteFirmware, op::kVersionKey));
    if (!deleted) return failed(deleted.error(), "delete firmware");

    const std::uint16_t checksum = firmwareChecksum(image.data);
    Request start{{op::kStartFirmwareDownload}};
    pushU16(start.payload, image.entry);
    pushU16(start.payload, checksum);
    start.payload.push_back(0);
    ExecuteResult started = executeRepeatable(session, start);
    if (!started) return failed(started.error(), "start download");
    if (started->data.at(0) != 0) {
        return failed(LinkError::BadCommunication, "start download: the brick refused it (code " +
                                                       std::to_string(started->data[0]) + ")");
    }

    if (progress) progress(0, total);
    if (auto f = sendImage(session, image.data, progress, options)) return *f;

    ExecuteResult unlocked = executeRepeatable(session, keyed(op::kUnlockFirmware, op::kUnlockKey));
    if (!unlocked) return failed(unlocked.error(), "unlock firmware");
    const Bytes& text = unlocked->data;
    if (text.size() != std::strlen(op::kUnlockReply) ||
        !std::equal(text.begin(), text.end(), op::kUnlockReply)) {
        return failed(LinkError::BadCommunication, "unlock firmware: unexpected answer");
    }
    ExecuteResult versions = executeRepeatable(session, Request::getVersions());
    if (!versions) return failed(versions.error(), "reading the versions back");
    const FirmwareVersion version = firmwareVersionOf(versions->data).value_or(FirmwareVersion{});
    if (version == FirmwareVersion{}) {
        return failed(LinkError::NoFirmware, "the brick still reports no firmware after unlock");
    }
    return version;
}

}  // namespace towerlink
