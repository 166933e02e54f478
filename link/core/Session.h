// One conversation with a brick over a transport: sends a request, waits for exactly its
// reply, retries when the reply is lost or damaged, and reports a typed outcome otherwise.
//
// Timing. The session knows how long the request and the expected reply take on a 2400 baud
// 8O1 line. It waits for the first byte of the reply for the request's wire time plus the reply
// time-out, which adapts to the brick and tower at hand (a tenth shorter after each first-try
// answer, down to 50 ms; twice as long after a reply that began late, up to 500 ms). Once a reply
// has begun, it is waited for as long as its remaining bytes need plus the stall allowance, so a
// loaded machine or an adapter that holds bytes back for a moment costs the pause and nothing more.
// The session returns the moment the reply is decoded.
//
// Giving up. An attempt ends without a reply when nothing began by the time-out, when the reply
// is visibly broken (a complement pair or checksum fails, or as many bytes came as it has),
// or when a begun reply outlives its allowance. Before the next attempt the line must have been
// quiet for the quiet interval: resending into a brick that is still transmitting would be lost
// on the half-duplex infrared link. Bytes that arrive meanwhile are still decoded (a late answer
// to these very bytes is an answer) and otherwise dropped; a reply carrying another opcode or
// the other toggle bit is never taken. A brick that stays silent costs `attempts` x (request
// wire time + reply time-out), at most 4 x (wire time + 500 ms); a line that keeps sending
// garbage at most 4 x (twice the request and reply wire time + 500 ms + twice the stall
// allowance).
//
// Repeats. A new request whose opcode equals the previous one is sent with the toggle bit
// flipped; a retry resends identical bytes, so that a brick which executed the request but
// whose reply was lost answers the retry with its previous reply instead of executing twice.
// The brick's memory of the last request is unknown at the start and after a failure (unless a
// damaged reply showed that the brick heard the request), so the session then pings first:
// Alive clears that memory on the brick.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Clock.h"
#include "LinkError.h"
#include "Request.h"
#include "Result.h"
#include "Transport.h"

namespace towerlink {

class ReplyDecoder;

struct Reply {
    std::int32_t value = 0;  // the numeric answer (see Session::execute)
    Bytes data;              // reply data bytes after the reply opcode
};

using ExecuteResult = Result<Reply, Failure>;

struct SessionOptions {
    int attempts = 4;                  // sends per request before giving up
    Micros replyTimeout{100000};       // first byte of a reply, beyond the request's wire time
    Micros minReplyTimeout{50000};     // the bounds the reply time-out adapts within
    Micros maxReplyTimeout{500000};    //
    Micros stallAllowance{500000};     // pauses waited out inside a reply that has begun
    Micros quietInterval{30000};       // silence on the line before a resend
    Micros interByteTimeout{30000};    // gap that ends a read of broadcast messages
    bool traceFromEnvironment = true;  // honour TOWERLINK_TRACE=1
};

struct SessionStats {
    std::size_t bytesSent = 0;
    std::size_t bytesReceived = 0;
    std::size_t packetsSent = 0;
    std::size_t retries = 0;
};

class Session {
public:
    using TraceSink = std::function<void(const std::string& line)>;
    using MessageHandler = std::function<void(std::uint8_t message)>;

    Session(Transport& transport, Clock& clock, SessionOptions options = {});

    // Runs one request. Numeric answers: Alive 1 when the brick answered and 0 when it stayed
    // silent (never a failure); Get value the signed 16-bit value; Get battery millivolts;
    // Set datalog size and Datalog next the brick's status byte; everything else 0.
    ExecuteResult execute(const Request& request);
    // The same, except that a damaged reply to the request ends the exchange at once with
    // BadCommunication (a request the brick did not answer is still sent again): for callers
    // that rather change the request than repeat it, like a shorter datalog chunk.
    ExecuteResult executeUnlessDamaged(const Request& request);

    // Whether anything answers on the port: for a tower that echoes, whether the echo comes
    // back; a tower without echo cannot tell and counts as answering.
    bool towerAnswers();

    // Waits up to `duration` for messages broadcast by a brick and hands them to the handler.
    void listen(Micros duration);

    // Receives "TX ..."/"RX ..." hex lines for every frame; empty to switch tracing off.
    void setTrace(TraceSink sink) { trace_ = std::move(sink); }
    void setMessageHandler(MessageHandler handler) { onMessage_ = std::move(handler); }

    const SessionStats& stats() const { return stats_; }
    Clock& clock() { return clock_; }

private:
    enum class Outcome { Reply, Silent, NoEcho, BadEcho, Corrupt, IoFailed };
    struct Attempt {
        Outcome outcome = Outcome::Silent;
        Bytes data;
        IoResult io;
        bool late = false;   // the reply began only after the reply time-out
        bool heard = false;  // a damaged reply shows that the brick heard the request
    };

    Attempt sendOnce(const Bytes& packet, std::uint8_t sentOpcode, const ReplyShape& shape,
                     bool afterSilence);
    Attempt readEcho(ReplyDecoder& decoder, std::size_t echoBytes, Micros deadline);
    void endRead(const ReplyDecoder& decoder);
    ExecuteResult run(const Request& request, bool stopOnDamage);
    void adaptReplyTimeout(const Attempt& a, bool firstTry);
    ExecuteResult failSilent(const Request& request);
    std::optional<Failure> resync();
    void emitTrace(const char* direction, std::span<const std::uint8_t> bytes);
    void deliverMessages(const std::vector<std::uint8_t>& messages);

    Transport& transport_;
    Clock& clock_;
    SessionOptions options_;
    TraceSink trace_;
    MessageHandler onMessage_;
    SessionStats stats_;
    std::optional<std::uint8_t> lastSent_;
    bool needResync_ = true;
    Micros replyTimeout_;
};

}  // namespace towerlink
