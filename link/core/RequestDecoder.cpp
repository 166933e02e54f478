// Request framing on the brick side.
#include "RequestDecoder.h"

#include "Opcodes.h"

namespace towerlink {

std::vector<Bytes> RequestDecoder::feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    std::vector<Bytes> out;
    std::size_t i = 0;
    Bytes payload;
    while (seekSync(buffer_, i)) {
        std::span<const std::uint8_t> body(buffer_.data() + i + 2, buffer_.size() - i - 2);
        if (body.empty()) break;
        const op::OpcodeInfo* info = op::findOpcode(body[0]);
        if (info == nullptr) {
            ++i;
            continue;
        }
        std::size_t dataLength = 0;
        if (info->opcode == op::kTransferData) {
            // The length field (parameters 3 and 4) sizes the frame; trust it only once both
            // of its complement pairs agree, so that noise cannot make the brick wait for a
            // frame that never ends.
            if (body.size() < 10) break;
            dataLength = body[6] | (body[8] << 8);
            if ((body[6] ^ body[7]) != 0xFF || (body[8] ^ body[9]) != 0xFF ||
                dataLength > op::kMaxTransferLength) {
                ++i;
                continue;
            }
        }
        FrameCheck c = checkFrame(body, 1 + op::requestParamLength(*info, dataLength), payload);
        if (c == FrameCheck::Incomplete) break;
        if (c == FrameCheck::Invalid) {
            ++i;
            continue;
        }
        out.push_back(payload);
        i += 2 + 2 * (payload.size() + 1);
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(i));
    return out;
}

}  // namespace towerlink
