// Request/reply exchange with retries, toggle-bit handling and outcome classification.
#include "Session.h"

#include <algorithm>
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

// Whether what came after the echo can no longer become the reply: every frame that starts
// with the reply's opcode has failed a complement pair or its checksum, or, with no such frame
// in sight, as many bytes came as the whole reply has. Giving up on a reply only means waiting
// for the line to fall silent while still decoding, so a false alarm (noise or a broadcast
// message before the reply) costs nothing.
bool replyBroken(const Bytes& received, const ReplyDecoder& decoder, const ReplyShape& shape,
                 std::uint8_t replyOp) {
    const std::size_t start = received.size() - decoder.bytesAfterEcho();
    bool failed = false;
    Bytes payload;
    for (std::size_t i = start; i + 2 < received.size(); ++i) {
        if (received[i] != 0xFF || received[i + 1] != 0x00 || received[i + 2] != replyOp) continue;
        std::span<const std::uint8_t> body(received.data() + i + 2, received.size() - i - 2);
        for (std::size_t length : {std::size_t{0}, shape.dataLength}) {
            if (length == 0 && !shape.mayBeEmpty && shape.dataLength != 0) continue;
            if (checkFrame(body, length + 1, payload) != FrameCheck::Invalid) return false;
        }
        failed = true;
    }
    return failed || decoder.bytesAfterEcho() >= packetLength(shape.dataLength + 1);
}

// Whether a frame of the reply to this very packet began after the echo, whole or not: then
// the brick heard the request and remembers its opcode.
bool replyBegan(const Bytes& received, const ReplyDecoder& decoder, std::uint8_t replyOp) {
    const std::size_t start = received.size() - decoder.bytesAfterEcho();
    for (std::size_t i = start; i + 2 < received.size(); ++i) {
        if (received[i] == 0xFF && received[i + 1] == 0x00 && received[i + 2] == replyOp) {
            return true;
        }
    }
    return false;
}

Failure failure(LinkError error, std::string message, int osError = 0) {
    return {error, std::move(message), osError};
}

}  // namespace

Session::Session(Transport& transport, Clock& clock, SessionOptions options)
    : transport_(transport), clock_(clock), options_(options), replyTimeout_(options.replyTimeout) {
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
                                  const ReplyShape& shape, bool afterSilence) {
    transport_.discardInput();
    emitTrace("TX", packet);
    IoResult written = transport_.write(packet);
    ++stats_.packetsSent;
    stats_.bytesSent += written.count;
    if (written.failed) return {Outcome::IoFailed, {}, written};

    const bool echo = transport_.echoes();
    // With no reply to wait for, only the echo is read, so that it does not linger.
    const std::size_t replyBytes = shape.expected ? packetLength(shape.dataLength + 1) : 0;
    const Micros sent = clock_.now() + wireTime(packet.size());
    Micros deadline = sent + replyTimeout_;
    Micros lastByte = sent;  // the line counts as busy until our own request has left
    ReplyDecoder decoder(sentOpcode, shape, echo ? packet : Bytes{});
    Bytes received;
    Bytes chunk;
    IoResult io;
    bool begun = false, late = false, givingUp = false;
    Micros quietLimit{0};
    while (!decoder.complete()) {
        std::size_t want = std::max<std::size_t>(decoder.bytesWanted(), 1);
        if (!shape.expected) {
            if (decoder.received() >= packet.size() || !echo) break;
            want = packet.size() - decoder.received();
        }
        Micros now = clock_.now();
        if (!givingUp && (now >= deadline || (begun && replyBroken(received, decoder, shape,
                                                                   replyOpcode(sentOpcode))))) {
            if (!shape.expected) break;
            // Wait for the line to fall silent before the next attempt, but not forever on a
            // line that never does.
            givingUp = true;
            quietLimit = now + wireTime(packet.size() + replyBytes) + options_.stallAllowance;
        }
        Micros wait = deadline - now;
        Micros gap = std::min(options_.interByteTimeout, wait);
        if (givingUp) {
            const Micros quietAt = lastByte + options_.quietInterval;
            if (now >= quietAt || now >= quietLimit) break;
            wait = gap = std::min(quietAt, quietLimit) - now;
        }
        chunk.resize(want);
        io = transport_.read(chunk, wait, gap);
        if (io.count > 0) {
            const Micros at = clock_.now();
            lastByte = io.count < want ? std::max(lastByte, at - gap) : at;
            received.insert(received.end(), chunk.begin(), chunk.begin() + io.count);
            decoder.feed(std::span(chunk.data(), io.count));
        }
        if (io.failed) break;
        if (!begun && shape.expected && decoder.bytesAfterEcho() > 0) {
            // The reply has begun: from here on only its length and the stall allowance count.
            begun = true;
            late = givingUp;
            givingUp = false;
            deadline = clock_.now() + wireTime(replyBytes) + options_.stallAllowance;
        }
    }
    stats_.bytesReceived += received.size();
    emitTrace("RX", received);
    deliverMessages(decoder.messages());

    if (io.failed) return {Outcome::IoFailed, {}, io};
    if (decoder.complete()) {
        // A reply to a resend that is whole much sooner than the brick could have sent it
        // answers the previous attempt, which was given up too early.
        late = late || (afterSilence && clock_.now() < sent + wireTime(replyBytes) / 2);
        return {Outcome::Reply, decoder.data(), {}, late};
    }
    if (!shape.expected) {
        return {echo && received.empty() ? Outcome::NoEcho : Outcome::Reply, {}, {}};
    }
    if (received.empty()) return {echo ? Outcome::NoEcho : Outcome::Silent, {}, {}};
    if (decoder.bytesAfterEcho() > 0) {
        return {
            Outcome::Corrupt, {}, {}, late, replyBegan(received, decoder, replyOpcode(sentOpcode))};
    }
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
    return run(request, false);
}

ExecuteResult Session::executeUnlessDamaged(const Request& request) {
    return run(request, true);
}

void Session::adaptReplyTimeout(const Attempt& a, bool firstTry) {
    if (a.late) {
        replyTimeout_ = std::min(options_.maxReplyTimeout, replyTimeout_ * 2);
    } else if (a.outcome == Outcome::Reply && firstTry) {
        replyTimeout_ = std::max(options_.minReplyTimeout, replyTimeout_ * 9 / 10);
    }
}

ExecuteResult Session::run(const Request& request, bool stopOnDamage) {
    const op::OpcodeInfo* info = op::findOpcode(request.opcode());
    const std::size_t dataLength =
        request.payload.size() >= 5 ? request.payload[3] | (request.payload[4] << 8) : 0;
    if (info == nullptr ||
        request.payload.size() != 1u + op::requestParamLength(*info, dataLength) ||
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
    bool heard = false;
    Outcome previous = Outcome::Reply;
    int made = 0;
    const int attempts = std::max(options_.attempts, 1);
    for (int i = 0; i < attempts && !(stopOnDamage && heard); ++i) {
        if (i > 0) ++stats_.retries;
        Attempt a = attempt(packet, opcode, shape, previous == Outcome::Silent);
        previous = a.outcome;
        ++made;
        if (shape.expected) adaptReplyTimeout(a, i == 0);
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
            case Outcome::Corrupt:
                ++corrupt;
                heard = heard || a.heard;
                break;
        }
    }

    // A damaged reply to these bytes shows what the brick remembers; otherwise it is unknown.
    needResync_ = !heard;
    if (corrupt > 0) {
        return failure(LinkError::BadCommunication, "only corrupt replies from the brick after " +
                                                        std::to_string(made) + " attempts");
    }
    if (noEcho == made) {
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
    if (versions && reportsNoFirmware(versions->data)) {
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
