// The brick's side of the framing: cuts requests out of the byte stream it receives. The
// length of a request follows from its opcode, so only opcodes the brick knows are accepted;
// a frame with a bad complement or checksum is dropped, as the RCX does.
#pragma once

#include <span>
#include <vector>

#include "Packet.h"

namespace towerlink {

class RequestDecoder {
public:
    // Appends `bytes` and returns the payloads (opcode as received first) of every request
    // completed by them, in order.
    std::vector<Bytes> feed(std::span<const std::uint8_t> bytes);

    // Bytes held back because they may still become part of a request.
    std::size_t pending() const { return buffer_.size(); }

private:
    Bytes buffer_;
};

}  // namespace towerlink
