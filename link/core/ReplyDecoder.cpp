// Reply recognition: sync search, echo skipping, frame check.
#include "ReplyDecoder.h"

#include <algorithm>

#include "Opcodes.h"

namespace towerlink {

ReplyDecoder::ReplyDecoder(std::uint8_t sentOpcode, ReplyShape shape, Bytes echo)
    : replyOpcode_(replyOpcode(sentOpcode)), shape_(shape), echo_(std::move(echo)) {}

void ReplyDecoder::feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (complete_) return;
    locateEcho();
    scan();
}

// Until the exact echo shows up, assume it occupies the first bytes: a corrupted echo still
// has the length of the request.
std::size_t ReplyDecoder::scanStart() const {
    return echoFound_ ? echoEnd_ : echo_.size();
}

void ReplyDecoder::locateEcho() {
    if (echo_.empty() || echoFound_) return;
    auto it = std::search(buffer_.begin(), buffer_.end(), echo_.begin(), echo_.end());
    if (it == buffer_.end()) return;
    echoFound_ = true;
    echoEnd_ = static_cast<std::size_t>(it - buffer_.begin()) + echo_.size();
}

void ReplyDecoder::scan() {
    std::size_t i = std::max(pos_, scanStart());
    Bytes payload;
    while (seekSync(buffer_, i)) {
        std::span<const std::uint8_t> body(buffer_.data() + i + 2, buffer_.size() - i - 2);
        if (body.size() < 2) break;
        bool waiting = false;
        if (body[0] == replyOpcode_) {
            // An empty upload reply is a prefix of a full one, so try it first.
            std::size_t lengths[2] = {0, shape_.dataLength};
            for (std::size_t k = shape_.mayBeEmpty ? 0 : 1; k < 2; ++k) {
                FrameCheck c = checkFrame(body, lengths[k] + 1, payload);
                if (c == FrameCheck::Valid) {
                    data_.assign(payload.begin() + 1, payload.end());
                    complete_ = true;
                    pos_ = i;
                    return;
                }
                if (c == FrameCheck::Incomplete) waiting = true;
            }
        } else if (body[0] == op::kSetMessage) {
            FrameCheck c = checkFrame(body, 2, payload);
            if (c == FrameCheck::Valid) {
                messages_.push_back(payload[1]);
                i += 2 + 6;
                continue;
            }
            waiting = c == FrameCheck::Incomplete;
        }
        if (waiting) break;
        ++i;
    }
    pos_ = i;
}

// Every frame that starts with the reply's opcode counts, overlapping ones too: a damaged byte
// may have made a false start inside the true frame.
std::pair<std::size_t, std::size_t> ReplyDecoder::replyFrames() const {
    std::size_t frames = 0, damaged = 0;
    Bytes payload;
    for (std::size_t i = buffer_.size() - bytesAfterEcho(); i + 2 < buffer_.size(); ++i) {
        if (!syncAt(buffer_, i) || buffer_[i + 2] != replyOpcode_) continue;
        ++frames;
        std::span<const std::uint8_t> body(buffer_.data() + i + 2, buffer_.size() - i - 2);
        bool invalid = true;
        for (std::size_t length : {std::size_t{0}, shape_.dataLength}) {
            if (length == 0 && !shape_.mayBeEmpty && shape_.dataLength != 0) continue;
            invalid = invalid && checkFrame(body, length + 1, payload) == FrameCheck::Invalid;
        }
        damaged += invalid;
    }
    return {frames, damaged};
}

bool ReplyDecoder::replyBegan() const {
    return replyFrames().first > 0;
}

Heard ReplyDecoder::heard() const {
    if (complete_) return Heard::Whole;
    const std::size_t after = bytesAfterEcho();
    if (after == 0) return Heard::Nothing;
    const auto [frames, damaged] = replyFrames();
    if (frames > 0) return damaged == frames ? Heard::Broken : Heard::Begun;
    return after >= packetLength(shape_.dataLength + 1) ? Heard::Stale : Heard::Begun;
}

std::size_t ReplyDecoder::bytesAfterEcho() const {
    return buffer_.size() - std::min(buffer_.size(), scanStart());
}

std::size_t ReplyDecoder::bytesWanted() const {
    if (complete_) return 0;
    const std::size_t start = std::max(pos_, scanStart());
    const bool synced = syncAt(buffer_, start);
    // Ask for an empty upload reply first: waiting for a full one that never comes would cost
    // an inter-byte time-out. Once the empty form is ruled out, ask for the rest.
    const bool emptyRuledOut = synced && buffer_.size() >= start + 6;
    const std::size_t length = shape_.mayBeEmpty && !emptyRuledOut ? 0 : shape_.dataLength;
    const std::size_t frameFromSync = packetLength(length + 1) - 1;
    // From a sync, the frame's own length; otherwise a whole "55 FF 00 ..." packet from start.
    const std::size_t end = start + frameFromSync + (synced ? 0 : 1);
    return end > buffer_.size() ? end - buffer_.size() : 1;
}

}  // namespace towerlink
