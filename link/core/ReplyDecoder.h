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
#include <utility>
#include <vector>

#include "Packet.h"
#include "Request.h"

namespace towerlink {

// What the bytes past the echo amount to so far.
enum class Heard {
    Nothing,  // nothing past the echo yet
    Begun,    // bytes that may still become the reply
    Broken,   // frames of the reply began, and every one of them is damaged: the brick heard
              // the request, but this reply will not come whole
    Stale,    // as many bytes as the whole reply, none of them the start of it: an older reply,
              // a message or noise
    Whole,    // the reply, valid
};

class ReplyDecoder {
public:
    // `sentOpcode` is the opcode byte as sent (toggle bit included). `echo`, when not empty, is
    // the packet as written to a tower that echoes it: the decoder skips that copy.
    ReplyDecoder(std::uint8_t sentOpcode, ReplyShape shape, Bytes echo = {});

    void feed(std::span<const std::uint8_t> bytes);

    Heard heard() const;
    bool complete() const { return complete_; }
    // Whether a frame of the reply began past the echo, whole, damaged or cut short: then the
    // brick heard the request and remembers its opcode.
    bool replyBegan() const;
    // Reply data after the reply opcode; valid once heard() is Whole.
    const Bytes& data() const { return data_; }

    // Everything fed so far.
    const Bytes& stream() const { return buffer_; }
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
    // Frames after the echo that start with the reply's opcode: how many, and how many of them
    // are damaged.
    std::pair<std::size_t, std::size_t> replyFrames() const;

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
