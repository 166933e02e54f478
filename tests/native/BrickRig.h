// A virtual brick behind an in-memory tower with a session on top, all on a manual clock; a tap
// between session and tower records the requests, can change or lose them, and can damage or
// lose replies.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CommandParser.h"
#include "MemoryTransport.h"
#include "Session.h"
#include "VirtualBrick.h"

namespace towerlink::test {

// Passes everything through unless told to change or lose requests, lose replies or damage
// bytes read.
class Tap final : public Transport {
public:
    enum class Fate { Deliver, Lose, LoseReply };

    Tap(Transport& inner, Clock& clock) : inner_(inner), clock_(clock) {}

    IoResult write(std::span<const std::uint8_t> b) override {
        written.emplace_back(b.begin(), b.end());
        writtenAt.push_back(clock_.now());
        Bytes sent(b.begin(), b.end());
        Fate fate = Fate::Deliver;
        if (onRequest) {
            Bytes payload;
            for (std::size_t i = kHeaderLength; i + 2 < b.size(); i += 2) payload.push_back(b[i]);
            fate = onRequest(payload);
            sent = encodePacket(payload);
        }
        if (fate == Fate::Lose) return IoResult::done(b.size());
        IoResult r = inner_.write(sent);
        if (fate == Fate::LoseReply) inner_.discardInput();
        return r;
    }
    IoResult read(std::span<std::uint8_t> buffer, Micros first, Micros inter) override {
        IoResult r = inner_.read(buffer, first, inter);
        for (std::size_t i = 0; i < r.count; ++i) {
            if (flipBits || ++bytesRead == damageByte) buffer[i] ^= 0x01;
        }
        return r;
    }
    bool echoes() const override { return inner_.echoes(); }
    void discardInput() override { inner_.discardInput(); }

    // Sees each request's payload, may change it, and says what becomes of it.
    std::function<Fate(Bytes& payload)> onRequest;
    std::vector<Bytes> written;
    std::vector<Micros> writtenAt;
    bool flipBits = false;
    std::size_t bytesRead = 0;
    std::size_t damageByte = 0;  // 1-based position in everything read; 0 for none

private:
    Transport& inner_;
    Clock& clock_;
};

struct BrickRig {
    explicit BrickRig(MemoryTransportOptions options = {}, std::uint32_t sequence = 7)
        : brick(clock, sequence),
          tower(brick, clock, options),
          tap(tower, clock),
          session(tap, clock) {}

    // Runs a text, noting in `took` how long it took on the clock.
    ExecuteResult run(const std::string& text, CommandForm form = CommandForm::Lasm) {
        auto request = parseCommand(text, form);
        EXPECT_TRUE(request.ok()) << text;
        const Micros start = clock.now();
        ExecuteResult r = session.execute(request.value());
        took = clock.now() - start;
        return r;
    }

    // Runs a text that must succeed and returns its reply.
    Reply reply(const std::string& text) {
        ExecuteResult r = run(text);
        EXPECT_TRUE(r.ok()) << text << ": " << (r.ok() ? "" : r.error().message);
        return r.ok() ? r.value() : Reply{-99999, {}};
    }
    std::int32_t answer(const std::string& text) { return reply(text).value; }

    // Runs a text that must fail and returns how.
    LinkError failure(const std::string& text) {
        ExecuteResult r = run(text);
        EXPECT_FALSE(r.ok()) << text << " succeeded";
        return r.ok() ? static_cast<LinkError>(-1) : r.error().error;
    }

    ManualClock clock{Micros{1000000}};
    VirtualBrick brick;
    MemoryTransport tower;
    Tap tap;
    Session session;
    Micros took{0};
};

}  // namespace towerlink::test
