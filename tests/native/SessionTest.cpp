// The session against the virtual brick: toggle bit, retries, timing, pauses and stale bytes,
// every failure outcome and the link status probe that names it, and a long run over a noisy
// line that stalls. Its trace, and the echo it skips, show in the towerlink tool's tests.
#include "Session.h"

#include <gtest/gtest.h>

#include <random>

#include "BrickRig.h"
#include "LinkStatus.h"
#include "TestBytes.h"

using namespace towerlink;
using test::BrickRig;
using test::bytes;

namespace {

// A paced serial line to a brick with 20 log entries, past its first ping; "polld 1,10" then
// brings a 67-byte reply.
struct LogRig : BrickRig {
    LogRig() : BrickRig({.echo = true, .paced = true}) {
        brick.fillDatalog(20);
        answer("ping");
    }
};
const Micros kLogUpload = wireTime(15) + kByteTime * 67;

}  // namespace

TEST(Session, AlternatesTheToggleBitAndPingsFirst) {
    BrickRig rig;
    for (const char* text : {"poll 9,1", "poll 9,1", "poll 9,1", "pollb", "poll 9,1", "ping",
                             "ping", "msgs 4", "poll 9,1"})
        rig.answer(text);
    std::vector<std::uint8_t> opcodes;
    for (const Bytes& packet : rig.tap.written) opcodes.push_back(packet[3]);
    EXPECT_EQ(opcodes, (std::vector<std::uint8_t>{0x10, 0x12, 0x1A, 0x12, 0x30, 0x12, 0x10, 0x18,
                                                  0xF7, 0x12}));
    EXPECT_EQ(rig.brick.state().repeatsAnswered, 0);
}

TEST(Session, RetriesWithIdenticalBytesSoTheBrickDoesNotRepeat) {
    BrickRig rig;
    rig.answer("ping");
    rig.tap.onRequest = [lost = 0](Bytes&) mutable {  // the first two replies to the sum
        return ++lost <= 2 ? test::Tap::Fate::LoseReply : test::Tap::Fate::Deliver;
    };
    rig.answer("sumv 3,2,5");
    ASSERT_EQ(rig.tap.written.size(), 4u);
    EXPECT_EQ(rig.tap.written[1], rig.tap.written[2]);
    EXPECT_EQ(rig.tap.written[2], rig.tap.written[3]);
    EXPECT_EQ(rig.brick.state().variables[3], 5);
    EXPECT_EQ(rig.brick.state().repeatsAnswered, 2);
    EXPECT_EQ(rig.session.stats().retries, 2u);
}

TEST(Session, WaitsOnlyAsLongAsTheLineNeeds) {
    BrickRig rig({.echo = true, .paced = true});
    rig.answer("ping");
    rig.answer("pollb");
    // Request (7 bytes, echoed meanwhile) and reply (11 bytes), and not a microsecond more.
    const Micros line = wireTime(7) + kByteTime * 11;
    EXPECT_EQ(rig.took, line);

    // A slow brick inside the allowance still answers the first time.
    rig.brick.setFaults({.replyDelay = Micros{50000}});
    rig.answer("pollb");
    EXPECT_EQ(rig.took, line + Micros{50000});

    // An upload outside the log comes back empty, and is taken as soon as it is complete.
    rig.brick.setFaults({});
    EXPECT_TRUE(rig.reply("polld 5,10").data.empty());
    EXPECT_EQ(rig.took, wireTime(15) + kByteTime * 7);
    EXPECT_EQ(rig.session.stats().retries, 0u);
}

// A brick (or a loaded computer) that stops for a moment inside a reply costs the pause and
// nothing more; a resend then would be lost on the half-duplex line.
TEST(Session, WaitsOutAPauseInsideAReply) {
    for (Micros pause : {Micros{40000}, Micros{300000}}) {
        LogRig rig;
        rig.tower.pauseNextReply(20, pause);
        EXPECT_EQ(rig.reply("polld 1,10").data.size(), 30u);
        EXPECT_EQ(rig.took, kLogUpload + pause);
        EXPECT_EQ(rig.session.stats().retries, 0u);
    }
}

TEST(Session, ResendsOnlyOnceTheLineIsQuietAndNeverTakesStaleBytes) {
    {
        // A damaged byte early in a long reply: the rest of it still comes, and the resend
        // waits for its end, so that the brick hears it.
        LogRig rig;
        rig.tap.damageByte = rig.tap.bytesRead + 15 + 10;
        rig.answer("polld 1,10");
        ASSERT_EQ(rig.tap.written.size(), 3u);
        EXPECT_GE(rig.tap.writtenAt[2] - rig.tap.writtenAt[1],
                  kLogUpload + SessionOptions{}.quietInterval);
        EXPECT_EQ(rig.brick.state().repeatsAnswered, 1);
    }
    {
        // The end of a reply held up for good (beyond the allowance): one resend, and the
        // late end, arriving meanwhile, is not mistaken for the new reply.
        LogRig rig;
        rig.tower.pauseNextReply(30, Micros{750000}, false);
        EXPECT_EQ(rig.reply("polld 1,10").data.size(), 30u);
        EXPECT_EQ(rig.tap.written.size(), 3u);  // one resend
    }
    {
        // Whole, valid replies to older requests (the other toggle bit, another opcode) come
        // first; only the reply to this request counts.
        BrickRig rig({.echo = true, .paced = true});
        rig.answer("poll 0,0");  // sent as 12; the next Get value goes as 1A
        rig.brick.setFaults({.replyDelay = Micros{200000}});
        rig.run("setv 0,2,7");
        const Micros afterEcho = wireTime(11);
        rig.tower.inject(encodePacket(bytes("ED 63 00")), afterEcho);          // ~12: 99
        rig.tower.inject(encodePacket(bytes("D8")), afterEcho + wireTime(9));  // ~27
        EXPECT_EQ(rig.answer("poll 0,0"), 7);
    }
}

// Each failure, and what the link status probe then says of the link.
TEST(Session, ReportsEachFailureOutcome) {
    {
        BrickRig rig({.echo = true});
        rig.tower.setTowerPresent(false);
        EXPECT_EQ(rig.failure("pollb"), LinkError::NoTower);
        EXPECT_FALSE(rig.session.towerAnswers());
        EXPECT_EQ(probeLinkStatus(rig.session), LinkStatus::NoTower);
        rig.tower.setUnplugged(true);
        EXPECT_EQ(rig.failure("ping"), LinkError::NoTower);
    }
    {
        BrickRig rig({.echo = true});
        rig.brick.setFaults({.silent = true});
        EXPECT_EQ(rig.failure("pollb"), LinkError::NoBrick);
        EXPECT_LT(rig.took, Micros{4000000});  // bounded, never hangs
        EXPECT_TRUE(rig.session.towerAnswers());
        EXPECT_EQ(rig.answer("ping"), 0);
        EXPECT_EQ(probeLinkStatus(rig.session), LinkStatus::NoBrick);
    }
    {
        BrickRig rig;
        rig.brick.setFirmware(false);
        EXPECT_EQ(rig.failure("out 2,1"), LinkError::NoFirmware);
        EXPECT_EQ(rig.answer("ping"), 1);
        EXPECT_EQ(probeLinkStatus(rig.session), LinkStatus::NoFirmware);
        // Requests with an unknown opcode or a bad length are refused before they are sent.
        EXPECT_EQ(rig.session.execute(Request{{0x99}}).error().error, LinkError::BadArgument);
        EXPECT_EQ(rig.session.execute(Request{{0x12, 9}}).error().error, LinkError::BadArgument);
    }
    {
        BrickRig rig;
        rig.tap.flipBits = true;
        EXPECT_EQ(rig.failure("pollb"), LinkError::BadCommunication);
    }
    {
        BrickRig rig({.echo = true});
        rig.tap.flipBits = true;
        rig.brick.setFaults({.silent = true});
        EXPECT_EQ(rig.failure("ping"), LinkError::BadTower);
    }
}

// A link without faults, and a brick whose batteries run low; the link status of the failures is
// checked with each of them above.
TEST(LinkStatus, NamesWhatIsWrong) {
    BrickRig ready({.echo = true});
    EXPECT_EQ(probeLinkStatus(ready.session), LinkStatus::Ready);

    BrickRig lowBattery;
    lowBattery.brick.setBatteryMillivolts(kLowBatteryMillivolts - 1);
    EXPECT_EQ(probeLinkStatus(lowBattery.session), LinkStatus::BadBattery);
}

TEST(Session, HandsOnBroadcastMessages) {
    BrickRig rig;
    std::vector<std::uint8_t> got;
    rig.session.setMessageHandler([&](std::uint8_t m) { got.push_back(m); });
    rig.answer("ping");
    rig.tower.inject(VirtualBrick::messagePacket(0x21));
    rig.session.listen(Micros{100000});
    // One that comes while a reply is awaited.
    rig.brick.setFaults({.replyDelay = Micros{50000}});
    rig.tower.inject(VirtualBrick::messagePacket(0x2A), Micros{1});
    EXPECT_EQ(rig.answer("pollb"), 9300);
    EXPECT_EQ(got, (std::vector<std::uint8_t>{0x21, 0x2A}));
}

// 1000 mixed commands over a line that damages or loses 5% of the bytes both ways and where
// replies stop for up to 300 ms. Each either succeeds with the right answer and exactly one
// effect, or fails with a named outcome; none hangs.
TEST(Session, StaysCorrectOnANoisyLine) {
    BrickRig rig({.echo = true, .paced = true});
    rig.brick.setFaults({.corruptRate = 0.025, .dropRate = 0.025});
    std::mt19937 pauses(5);
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
        if (pauses() % 4 == 0) {
            rig.tower.pauseNextReply(pauses() % 12, Micros{pauses() % 300001}, pauses() % 2);
        }
        ExecuteResult r = rig.run(text);
        ASSERT_LT(rig.took, Micros{12000000}) << text;
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
