// One conversation with a brick over a transport: sends a request, waits for exactly its
// reply, retries when the reply is lost or damaged, and reports a typed outcome otherwise.
//
// Timing. The session knows how long the request and the expected reply take on a 2400 baud
// 8O1 line and waits that long plus a small allowance; it returns the moment the reply is
// decoded, so in the good case no time-out is ever waited for. A gap longer than the
// inter-byte time-out inside a reply ends the attempt early.
//
// Repeats. A new request whose opcode equals the previous one is sent with the toggle bit
// flipped; a retry resends identical bytes, so that a brick which executed the request but
// whose reply was lost answers the retry with its previous reply instead of executing twice.
// The brick's memory of the last request is unknown at the start and after a failure, so the
// session then pings first: Alive clears that memory on the brick.
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

struct Reply {
    std::int32_t value = 0;  // the numeric answer (see Session::execute)
    Bytes data;              // reply data bytes after the reply opcode
};

using ExecuteResult = Result<Reply, Failure>;

struct SessionOptions {
    int attempts = 4;                  // sends per request before giving up
    Micros replyAllowance{80000};      // beyond the wire time of request and reply
    Micros interByteTimeout{30000};    // longest gap inside one reply
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

    // Whether anything answers on the port: for a tower that echoes, whether the echo comes
    // back; a tower without echo cannot tell and counts as answering.
    bool towerAnswers();

    // Waits up to `duration` for messages broadcast by a brick and hands them to the handler.
    void listen(Micros duration);

    // Receives "TX ..."/"RX ..." hex lines for every frame; empty to switch tracing off.
    void setTrace(TraceSink sink) { trace_ = std::move(sink); }
    void setMessageHandler(MessageHandler handler) { onMessage_ = std::move(handler); }

    const SessionStats& stats() const { return stats_; }
    Transport& transport() { return transport_; }
    Clock& clock() { return clock_; }

private:
    enum class Outcome { Reply, Silent, NoEcho, BadEcho, Corrupt, IoFailed };
    struct Attempt {
        Outcome outcome = Outcome::Silent;
        Bytes data;
        IoResult io;
    };

    Attempt attempt(const Bytes& packet, std::uint8_t sentOpcode, const ReplyShape& shape);
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
};

}  // namespace towerlink
