// Finds the brick's reply to one request in the bytes that come back from the tower.
//
// The stream may begin with the serial tower's echo of the request, with noise, or with a
// stale byte or two; the reply is recognised only by a sync (`FF 00`, the leading 55 being
// optional because some tower drivers swallow it) followed by the complement of the opcode that
// was sent, and accepted only when every complement pair and the checksum agree. Pure: bytes
// in, state out; feed it any chunking.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "Packet.h"
#include "Request.h"

namespace towerlink {

class ReplyDecoder {
public:
    // `sentOpcode` is the opcode byte as sent (toggle bit included). `echo`, when not empty, is
    // the packet as written to a tower that echoes it: the decoder skips that copy.
    ReplyDecoder(std::uint8_t sentOpcode, ReplyShape shape, Bytes echo = {});

    void feed(std::span<const std::uint8_t> bytes);

    bool complete() const { return complete_; }
    // Reply data after the reply opcode; valid once complete().
    const Bytes& data() const { return data_; }

    std::size_t received() const { return buffer_.size(); }
    // The echo came back byte for byte.
    bool echoSeen() const { return echoFound_; }
    // Bytes that arrived past the echo, whether or not they made a reply.
    std::size_t bytesAfterEcho() const;
    // Fewest further bytes after which the reply could be complete; 0 once it is.
    std::size_t bytesWanted() const;

    // Message bytes that another brick broadcast (`F7 m`) while the reply was awaited.
    const std::vector<std::uint8_t>& messages() const { return messages_; }

private:
    void locateEcho();
    void scan();
    std::size_t scanStart() const;

    std::uint8_t replyOpcode_;
    ReplyShape shape_;
    Bytes echo_;
    Bytes buffer_;
    Bytes data_;
    std::vector<std::uint8_t> messages_;
    std::size_t pos_ = 0;  // first position not yet ruled out as the start of a frame
    std::size_t echoEnd_ = 0;
    bool echoFound_ = false;
    bool complete_ = false;
};

}  // namespace towerlink
