// Request/reply exchange with retries, toggle-bit handling and outcome classification.
#include "Session.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "ByteOrder.h"
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
        case op::kGetValue: return data.size() >= 2 ? readS16(data, 0) : 0;
        case op::kGetBattery: return data.size() >= 2 ? readU16(data, 0) : 0;
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

// One send as a small state machine over what the decoder has heard. Awaiting: the first byte
// of the reply is due by the reply time-out. Receiving: the reply has begun and gets as long as
// its length and the stall allowance need. Overdue and Quieting: the attempt is given up (in
// Overdue before anything came, so that a reply beginning now is a late one) and ends once the
// line has been quiet for the quiet interval, or after a bound on a line that never is. Bytes
// that come meanwhile are still decoded: a late answer to these very bytes is an answer.
Session::Attempt Session::sendOnce(const Bytes& packet, std::uint8_t sentOpcode,
                                   const ReplyShape& shape, bool afterSilence) {
    transport_.discardInput();
    emitTrace("TX", packet);
    IoResult written = transport_.write(packet);
    ++stats_.packetsSent;
    stats_.bytesSent += written.count;
    if (written.failed) return {Outcome::IoFailed, {}, written};

    const bool echo = transport_.echoes();
    ReplyDecoder decoder(sentOpcode, shape, echo ? packet : Bytes{});
    const Micros sent = clock_.now() + wireTime(packet.size());
    if (!shape.expected) return readEcho(decoder, echo ? packet.size() : 0, sent + replyTimeout_);

    enum class Phase { Awaiting, Receiving, Overdue, Quieting };
    const std::size_t replyBytes = packetLength(shape.dataLength + 1);
    Phase phase = Phase::Awaiting;
    Micros deadline = sent + replyTimeout_;
    Micros lastByte = sent;  // the line counts as busy until our own request has left
    Micros quietLimit{0};
    Bytes chunk;
    IoResult io;
    bool late = false;
    for (Heard heard = Heard::Nothing; heard != Heard::Whole; heard = decoder.heard()) {
        Micros now = clock_.now();
        const bool broken = heard == Heard::Broken || heard == Heard::Stale;
        if ((phase == Phase::Awaiting && now >= deadline) ||
            (phase == Phase::Receiving && (now >= deadline || broken))) {
            phase = phase == Phase::Awaiting ? Phase::Overdue : Phase::Quieting;
            quietLimit = now + wireTime(packet.size() + replyBytes) + options_.stallAllowance;
        }
        Micros wait = deadline - now;
        Micros gap = std::min(options_.interByteTimeout, wait);
        if (phase == Phase::Overdue || phase == Phase::Quieting) {
            const Micros quietAt = lastByte + options_.quietInterval;
            if (now >= quietAt || now >= quietLimit) break;
            wait = gap = std::min(quietAt, quietLimit) - now;
        }
        const std::size_t want = std::max<std::size_t>(decoder.bytesWanted(), 1);
        chunk.resize(want);
        io = transport_.read(chunk, wait, gap);
        if (io.count > 0) {
            const Micros at = clock_.now();
            lastByte = io.count < want ? std::max(lastByte, at - gap) : at;
            decoder.feed(std::span(chunk.data(), io.count));
        }
        if (io.failed) break;
        if ((phase == Phase::Awaiting || phase == Phase::Overdue) &&
            decoder.heard() != Heard::Nothing) {
            late = phase == Phase::Overdue;
            phase = Phase::Receiving;
            deadline = clock_.now() + wireTime(replyBytes) + options_.stallAllowance;
        }
    }
    endRead(decoder);

    if (io.failed) return {Outcome::IoFailed, {}, io};
    switch (decoder.heard()) {
        case Heard::Whole:
            // A reply to a resend that is whole much sooner than the brick could have sent it
            // answers the previous attempt, which was given up too early.
            late = late || (afterSilence && clock_.now() < sent + wireTime(replyBytes) / 2);
            return {Outcome::Reply, decoder.data(), {}, late};
        case Heard::Nothing:
            if (decoder.received() == 0) return {echo ? Outcome::NoEcho : Outcome::Silent, {}, {}};
            if (echo && !decoder.echoSeen()) return {Outcome::BadEcho, {}, {}};
            return {Outcome::Silent, {}, {}};
        default: return {Outcome::Corrupt, {}, {}, late, decoder.replyBegan()};
    }
}

// A request without reply: only its echo is read (if the tower echoes), so that it does not
// linger.
Session::Attempt Session::readEcho(ReplyDecoder& decoder, std::size_t echoBytes, Micros deadline) {
    IoResult io;
    Bytes chunk;
    for (Micros now = clock_.now(); decoder.received() < echoBytes && now < deadline;
         now = clock_.now()) {
        chunk.resize(echoBytes - decoder.received());
        io = transport_.read(chunk, deadline - now,
                             std::min(options_.interByteTimeout, deadline - now));
        decoder.feed(std::span(chunk.data(), io.count));
        if (io.failed) break;
    }
    endRead(decoder);
    if (io.failed) return {Outcome::IoFailed, {}, io};
    return {echoBytes > 0 && decoder.received() == 0 ? Outcome::NoEcho : Outcome::Reply, {}, {}};
}

void Session::endRead(const ReplyDecoder& decoder) {
    stats_.bytesReceived += decoder.received();
    emitTrace("RX", decoder.stream());
    deliverMessages(decoder.messages());
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
    const std::size_t dataLength = request.payload.size() >= 5 ? readU16(request.payload, 3) : 0;
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
        Attempt a = sendOnce(packet, opcode, shape, previous == Outcome::Silent);
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
