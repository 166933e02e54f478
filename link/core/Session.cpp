// Request/reply exchange with retries, toggle-bit handling and outcome classification.
#include "Session.h"

#include <cstdlib>
#include <iostream>

#include "Hex.h"
#include "Opcodes.h"
#include "ReplyDecoder.h"

namespace towerlink {
namespace {

bool traceRequested() {
    const char* v = std::getenv("TOWERLINK_TRACE");
    return v != nullptr && std::string(v) == "1";
}

std::int32_t numericAnswer(std::uint8_t opcode, const Bytes& data) {
    switch (opcode) {
        case op::kAlive: return 1;
        case op::kGetValue:
            return data.size() >= 2 ? static_cast<std::int16_t>(data[0] | (data[1] << 8)) : 0;
        case op::kGetBattery: return data.size() >= 2 ? data[0] | (data[1] << 8) : 0;
        case op::kSetDatalogSize:
        case op::kDatalogNext: return data.empty() ? 0 : data[0];
        default: return 0;
    }
}

Failure failure(LinkError error, std::string message, int osError = 0) {
    return {error, std::move(message), osError};
}

}  // namespace

Session::Session(Transport& transport, Clock& clock, SessionOptions options)
    : transport_(transport), clock_(clock), options_(options) {
    if (options_.traceFromEnvironment && traceRequested()) {
        trace_ = [](const std::string& line) { std::cerr << "towerlink: " << line << std::endl; };
    }
}

void Session::emitTrace(const char* direction, std::span<const std::uint8_t> bytes) {
    if (trace_ && !bytes.empty()) trace_(std::string(direction) + " " + hexBytes(bytes));
}

void Session::deliverMessages(const std::vector<std::uint8_t>& messages) {
    if (!onMessage_) return;
    for (std::uint8_t m : messages) onMessage_(m);
}

Session::Attempt Session::attempt(const Bytes& packet, std::uint8_t sentOpcode,
                                  const ReplyShape& shape) {
    transport_.discardInput();
    emitTrace("TX", packet);
    IoResult written = transport_.write(packet);
    ++stats_.packetsSent;
    stats_.bytesSent += written.count;
    if (written.failed) return {Outcome::IoFailed, {}, written};

    const bool echo = transport_.echoes();
    // With no reply to wait for, only the echo is read, so that it does not linger.
    const std::size_t replyBytes = shape.expected ? packetLength(shape.dataLength + 1) : 0;
    const Micros deadline =
        clock_.now() + wireTime(packet.size() + replyBytes) + options_.replyAllowance;
    ReplyDecoder decoder(sentOpcode, shape, echo ? packet : Bytes{});
    Bytes received;
    Bytes chunk;
    IoResult io;
    while (!decoder.complete()) {
        std::size_t want = decoder.bytesWanted();
        if (!shape.expected) {
            if (decoder.received() >= packet.size() || !echo) break;
            want = packet.size() - decoder.received();
        }
        const Micros now = clock_.now();
        if (now >= deadline) break;
        chunk.resize(want);
        io = transport_.read(chunk, deadline - now, options_.interByteTimeout);
        received.insert(received.end(), chunk.begin(), chunk.begin() + io.count);
        decoder.feed(std::span(chunk.data(), io.count));
        if (io.failed || io.count == 0) break;
        // A pause in the middle of a reply means bytes were lost: retry now, not at the deadline.
        if (io.count < want && shape.expected && decoder.bytesAfterEcho() > 0 &&
            !decoder.complete()) {
            break;
        }
    }
    stats_.bytesReceived += received.size();
    emitTrace("RX", received);
    deliverMessages(decoder.messages());

    if (io.failed) return {Outcome::IoFailed, {}, io};
    if (decoder.complete()) return {Outcome::Reply, decoder.data(), {}};
    if (!shape.expected) {
        return {echo && received.empty() ? Outcome::NoEcho : Outcome::Reply, {}, {}};
    }
    if (received.empty()) return {echo ? Outcome::NoEcho : Outcome::Silent, {}, {}};
    if (decoder.bytesAfterEcho() > 0) return {Outcome::Corrupt, {}, {}};
    if (echo && !decoder.echoSeen()) return {Outcome::BadEcho, {}, {}};
    return {Outcome::Silent, {}, {}};
}

std::optional<Failure> Session::resync() {
    ExecuteResult ping = execute(Request::alive());
    if (!ping) return ping.error();
    if (ping->value == 0) return failure(LinkError::NoBrick, "the brick does not answer");
    return std::nullopt;
}

ExecuteResult Session::execute(const Request& request) {
    const op::OpcodeInfo* info = op::findOpcode(request.opcode());
    if (info == nullptr || request.payload.size() != 1u + info->paramLength ||
        info->opcode != request.opcode()) {
        return failure(LinkError::BadArgument, "not a request the link can send");
    }
    const bool alive = info->opcode == op::kAlive;
    if (needResync_ && !alive) {
        if (std::optional<Failure> f = resync()) return *f;
    }

    std::uint8_t opcode = info->opcode;
    if (info->toggles && lastSent_ == opcode) opcode ^= kToggleBit;
    // A request without reply leaves the brick's memory uncertain, so it is not remembered:
    // the next request then differs from both the last answered one and this one.
    if (info->toggles) lastSent_ = opcode;
    Bytes payload = request.payload;
    payload[0] = opcode;
    const Bytes packet = encodePacket(payload);
    const ReplyShape shape = replyShape(request);

    int noEcho = 0, badEcho = 0, silent = 0, corrupt = 0;
    for (int i = 0; i < options_.attempts; ++i) {
        if (i > 0) ++stats_.retries;
        Attempt a = attempt(packet, opcode, shape);
        switch (a.outcome) {
            case Outcome::Reply:
                if (alive) needResync_ = false;
                return Reply{numericAnswer(info->opcode, a.data), std::move(a.data)};
            case Outcome::IoFailed:
                needResync_ = true;
                return failure(LinkError::NoTower, "the tower failed while " + a.io.detail,
                               a.io.osError);
            case Outcome::NoEcho: ++noEcho; break;
            case Outcome::BadEcho: ++badEcho; break;
            case Outcome::Silent: ++silent; break;
            case Outcome::Corrupt: ++corrupt; break;
        }
    }

    needResync_ = true;
    if (corrupt > 0) {
        return failure(LinkError::BadCommunication, "only corrupt replies from the brick after " +
                                                        std::to_string(options_.attempts) +
                                                        " attempts");
    }
    if (noEcho == options_.attempts) {
        return failure(LinkError::NoTower, "the tower does not answer (no echo)");
    }
    if (silent == 0) {
        return failure(LinkError::BadTower, "the tower returns something other than its echo");
    }
    if (alive) return Reply{0, {}};
    return failSilent(request);
}

// The brick kept silent. Its ROM alone still answers Alive and Get versions; if it reports no
// firmware, that is the reason, otherwise the brick is simply not there.
ExecuteResult Session::failSilent(const Request& request) {
    const Failure noBrick =
        failure(LinkError::NoBrick, "the brick does not answer (is it on and in range?)");
    const op::OpcodeInfo* info = op::findOpcode(request.opcode());
    if (info->romAnswers) return noBrick;
    ExecuteResult ping = execute(Request::alive());
    if (!ping || ping->value == 0) return noBrick;
    ExecuteResult versions = execute(Request::getVersions());
    if (versions && versions->data.size() == 8 && versions->data[4] == 0 &&
        versions->data[5] == 0 && versions->data[6] == 0 && versions->data[7] == 0) {
        return failure(LinkError::NoFirmware, "the brick has no firmware");
    }
    return noBrick;
}

bool Session::towerAnswers() {
    if (!transport_.echoes()) return true;
    ExecuteResult ping = execute(Request::alive());
    return ping ||
           (ping.error().error != LinkError::NoTower && ping.error().error != LinkError::BadTower);
}

void Session::listen(Micros duration) {
    // Any opcode will do: only the message frames found on the way matter here.
    ReplyDecoder decoder(op::kAlive, ReplyShape{}, {});
    Bytes chunk(64);
    const Micros deadline = clock_.now() + duration;
    for (Micros now = clock_.now(); now < deadline; now = clock_.now()) {
        IoResult io = transport_.read(chunk, deadline - now, options_.interByteTimeout);
        if (io.failed) break;
        emitTrace("RX", std::span(chunk.data(), io.count));
        decoder.feed(std::span(chunk.data(), io.count));
    }
    deliverMessages(decoder.messages());
}

}  // namespace towerlink
