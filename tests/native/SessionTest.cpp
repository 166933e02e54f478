// The session against the virtual brick: echo, toggle bit, retries, timing, every failure
// outcome, and a long run over a noisy line.
#include "Session.h"

#include <gtest/gtest.h>

#include "BrickRig.h"
#include "TestBytes.h"

using namespace towerlink;
using test::BrickRig;
using test::bytes;

namespace {

// Sits between the session and a tower; records what is written and can damage what is read.
class Tap final : public Transport {
public:
    explicit Tap(Transport& inner) : inner_(inner) {}

    IoResult write(std::span<const std::uint8_t> b) override {
        written.emplace_back(b.begin(), b.end());
        IoResult r = inner_.write(b);
        if (loseReplies > 0) {
            --loseReplies;
            inner_.discardInput();
        }
        return r;
    }
    IoResult read(std::span<std::uint8_t> buffer, Micros first, Micros inter) override {
        IoResult r = inner_.read(buffer, first, inter);
        if (flipBits) {
            for (std::size_t i = 0; i < r.count; ++i) buffer[i] ^= 0x01;
        }
        return r;
    }
    bool echoes() const override { return inner_.echoes(); }
    void discardInput() override { inner_.discardInput(); }

    std::vector<Bytes> written;
    int loseReplies = 0;
    bool flipBits = false;

private:
    Transport& inner_;
};

struct TapRig {
    explicit TapRig(MemoryTransportOptions options = {})
        : brick(clock, 1), tower(brick, clock, options), tap(tower), session(tap, clock) {}

    ExecuteResult run(const std::string& text) {
        return session.execute(parseCommand(text, CommandForm::Lasm).value());
    }

    ManualClock clock;
    VirtualBrick brick;
    MemoryTransport tower;
    Tap tap;
    Session session;
};

}  // namespace

TEST(Session, SkipsTheEchoOfASerialTower) {
    BrickRig rig({.echo = true});
    std::vector<std::string> trace;
    rig.session.setTrace([&](const std::string& line) { trace.push_back(line); });
    rig.brick.setSensorRaw(1, 42);
    ExecuteResult r = rig.run("poll 12,1");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->value, 42);
    EXPECT_EQ(r->data, bytes("2A 00"));
    ASSERT_EQ(trace.size(), 4u);  // the first ping, then the poll, each both ways
    EXPECT_EQ(trace[2], "TX 55 FF 00 12 ED 0C F3 01 FE 1F E0");
    EXPECT_EQ(trace[3], "RX 55 FF 00 12 ED 0C F3 01 FE 1F E0 55 FF 00 ED 12 2A D5 00 FF 17 E8");
}

TEST(Session, AlternatesTheToggleBitAndPingsFirst) {
    TapRig rig;
    for (const char* text : {"poll 9,1", "poll 9,1", "poll 9,1", "pollb", "poll 9,1", "ping",
                             "ping", "msgs 4", "poll 9,1"}) {
        ASSERT_TRUE(rig.run(text).ok()) << text;
    }
    std::vector<std::uint8_t> opcodes;
    for (const Bytes& packet : rig.tap.written) opcodes.push_back(packet[3]);
    EXPECT_EQ(opcodes, (std::vector<std::uint8_t>{0x10, 0x12, 0x1A, 0x12, 0x30, 0x12, 0x10, 0x18,
                                                  0xF7, 0x12}));
    EXPECT_EQ(rig.brick.state().repeatsAnswered, 0);
}

TEST(Session, RetriesWithIdenticalBytesSoTheBrickDoesNotRepeat) {
    TapRig rig;
    ASSERT_TRUE(rig.run("ping").ok());
    rig.tap.loseReplies = 2;
    ExecuteResult r = rig.run("sumv 3,2,5");
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(rig.tap.written.size(), 4u);
    EXPECT_EQ(rig.tap.written[1], rig.tap.written[2]);
    EXPECT_EQ(rig.tap.written[2], rig.tap.written[3]);
    EXPECT_EQ(rig.brick.state().variables[3], 5);
    EXPECT_EQ(rig.brick.state().repeatsAnswered, 2);
    EXPECT_EQ(rig.session.stats().retries, 2u);
}

TEST(Session, WaitsOnlyAsLongAsTheLineNeeds) {
    BrickRig rig({.echo = true, .paced = true});
    ASSERT_TRUE(rig.run("ping").ok());
    Micros start = rig.clock.now();
    ASSERT_TRUE(rig.run("pollb").ok());
    // Request (7 bytes, echoed meanwhile) and reply (11 bytes), and not a microsecond more.
    const Micros line = wireTime(7) + kByteTime * 11;
    EXPECT_EQ(rig.clock.now() - start, line);

    // A slow brick inside the allowance still answers the first time.
    rig.brick.setFaults({.replyDelay = Micros{50000}});
    start = rig.clock.now();
    ASSERT_TRUE(rig.run("pollb").ok());
    EXPECT_EQ(rig.clock.now() - start, line + Micros{50000});

    // An upload outside the log comes back empty, and is taken as soon as it is complete.
    rig.brick.setFaults({});
    start = rig.clock.now();
    ExecuteResult outside = rig.run("polld 5,10");
    ASSERT_TRUE(outside.ok());
    EXPECT_TRUE(outside->data.empty());
    EXPECT_EQ(rig.clock.now() - start, wireTime(15) + kByteTime * 7);
    EXPECT_EQ(rig.session.stats().retries, 0u);
}

TEST(Session, ReportsEachFailureOutcome) {
    {
        BrickRig rig({.echo = true});
        rig.tower.setTowerPresent(false);
        ExecuteResult r = rig.run("pollb");
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().error, LinkError::NoTower);
        EXPECT_FALSE(rig.session.towerAnswers());
        rig.tower.setUnplugged(true);
        EXPECT_EQ(rig.run("ping").error().error, LinkError::NoTower);
    }
    {
        BrickRig rig({.echo = true});
        rig.brick.setFaults({.silent = true});
        const Micros start = rig.clock.now();
        ExecuteResult r = rig.run("pollb");
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().error, LinkError::NoBrick);
        EXPECT_LT(rig.clock.now() - start, Micros{4000000});  // bounded, never hangs
        EXPECT_TRUE(rig.session.towerAnswers());
        ExecuteResult ping = rig.run("ping");
        ASSERT_TRUE(ping.ok());
        EXPECT_EQ(ping->value, 0);
    }
    {
        BrickRig rig;
        rig.brick.setFirmware(false);
        ExecuteResult r = rig.run("out 2,1");
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().error, LinkError::NoFirmware);
        EXPECT_EQ(rig.run("ping")->value, 1);
    }
    {
        TapRig rig;
        rig.tap.flipBits = true;
        EXPECT_EQ(rig.run("pollb").error().error, LinkError::BadCommunication);
    }
    {
        TapRig rig({.echo = true});
        rig.tap.flipBits = true;
        rig.brick.setFaults({.silent = true});
        EXPECT_EQ(rig.run("ping").error().error, LinkError::BadTower);
    }
    {
        BrickRig rig;
        EXPECT_EQ(rig.session.execute(Request{{0x99}}).error().error, LinkError::BadArgument);
        EXPECT_EQ(rig.session.execute(Request{{0x12, 9}}).error().error, LinkError::BadArgument);
    }
}

TEST(Session, HandsOnBroadcastMessages) {
    BrickRig rig;
    std::vector<std::uint8_t> got;
    rig.session.setMessageHandler([&](std::uint8_t m) { got.push_back(m); });
    ASSERT_TRUE(rig.run("ping").ok());
    rig.tower.inject(VirtualBrick::messagePacket(0x21));
    rig.session.listen(Micros{100000});
    EXPECT_EQ(got, std::vector<std::uint8_t>{0x21});
}

// 1000 mixed commands over a line that damages or loses 5% of the bytes both ways. Each either
// succeeds with the right answer and exactly one effect, or fails with a named outcome.
TEST(Session, StaysCorrectOnANoisyLine) {
    BrickRig rig({.echo = true});
    rig.brick.setFaults({.corruptRate = 0.025, .dropRate = 0.025});
    const BrickState& s = rig.brick.state();
    int expectedVar = 0;
    std::size_t expectedSounds = 0;
    int successes = 0;
    for (int i = 0; i < 1000; ++i) {
        const int k = i % 7;
        std::string text;
        switch (i % 6) {
            case 0:
            case 3: text = "sumv 0,2," + std::to_string(k + 1); break;
            case 1: text = "poll 0,0"; break;
            case 2: text = "plays " + std::to_string(k % 6); break;
            case 4: text = "pollb"; break;
            default: text = k % 2 ? "out 2,2" : "out 0,2";
        }
        const Micros start = rig.clock.now();
        ExecuteResult r = rig.run(text);
        ASSERT_LT(rig.clock.now() - start, Micros{5000000}) << text;
        if (!r.ok()) {
            const LinkError e = r.error().error;
            EXPECT_TRUE(e == LinkError::BadCommunication || e == LinkError::NoBrick ||
                        e == LinkError::BadTower)
                << text << ": " << r.error().message;
            // At most once: a lost reply may hide an execution, never a second one.
            if (i % 3 == 0) {
                EXPECT_TRUE(s.variables[0] == expectedVar || s.variables[0] == expectedVar + k + 1);
            }
            if (i % 6 == 2) {
                EXPECT_LE(s.sounds.size(), expectedSounds + 1);
            }
            expectedVar = s.variables[0];
            expectedSounds = s.sounds.size();
            continue;
        }
        ++successes;
        switch (i % 6) {
            case 0:
            case 3:
                expectedVar += k + 1;
                EXPECT_EQ(s.variables[0], expectedVar) << "command " << i;
                break;
            case 1: EXPECT_EQ(r->value, expectedVar) << "command " << i; break;
            case 2: EXPECT_EQ(s.sounds.size(), ++expectedSounds) << "command " << i; break;
            case 4: EXPECT_EQ(r->value, 9300); break;
            default: EXPECT_EQ(s.motors[1].mode, k % 2 ? MotorMode::On : MotorMode::Float);
        }
    }
    EXPECT_GT(successes, 700);
}
