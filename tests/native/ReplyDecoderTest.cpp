// Reply recognition, and with it the frames' pair and checksum checks: every vector whole and
// byte by byte, echo, noise and damaged frames; and the brick's side, requests cut from a noisy,
// arbitrarily chunked stream. Packets are encoded in the command parser's tests, against the
// reference packets of the requests.
#include "ReplyDecoder.h"

#include <gtest/gtest.h>

#include "RequestDecoder.h"
#include "TestBytes.h"

using namespace towerlink;
using test::bytes;

namespace {

struct Vector {
    std::uint8_t sent;
    ReplyShape shape;
    const char* stream;
    const char* data;
};

const Vector kVectors[] = {
    {0x30, {true, 2, false}, "55 FF 00 CF 30 54 AB 24 DB 47 B8", "54 24"},
    {0x15,
     {true, 8, false},
     "55 FF 00 EA 15 00 FF 03 FC 00 FF 01 FE 00 FF 03 FC 00 FF 09 F6 FA 05",
     "00 03 00 01 00 03 00 09"},
    {0xA4, {true, 3, true}, "55 FF 00 5B A4 FF 00 05 FA 00 FF 5F A0", "FF 05 00"},
    {0xA4,
     {true, 6, true},
     "55 FF 00 5B A4 40 BF 37 C8 00 FF 20 DF 2C D3 01 FE 1F E0",
     "40 37 00 20 2C 01"},
    {0xA4, {true, 6, true}, "55 FF 00 5B A4 5B A4", ""},
    {0x1A, {true, 2, false}, "55 FF 00 E5 1A 2A D5 00 FF 0F F0", "2A 00"},
    {0x18, {true, 0, false}, "55 FF 00 E7 18 E7 18", ""},
    // Leading noise, a stale half frame, and a tower driver that swallowed the 55.
    {0x10, {true, 0, false}, "13 37 55 FF 00 EF 10 FF 00 EF 10 EF 10", ""},
    {0x10, {true, 0, false}, "FF 00 EF 10 EF 10", ""},
};

}  // namespace

TEST(ReplyDecoder, DecodesVectorsWholeAndByteByByte) {
    for (const Vector& v : kVectors) {
        const Bytes stream = bytes(v.stream);
        ReplyDecoder whole(v.sent, v.shape);
        whole.feed(stream);
        ASSERT_TRUE(whole.complete()) << v.stream;
        EXPECT_EQ(whole.data(), bytes(v.data)) << v.stream;

        ReplyDecoder single(v.sent, v.shape);
        for (std::size_t i = 0; i < stream.size(); ++i) {
            EXPECT_FALSE(single.complete()) << v.stream << " early at " << i;
            EXPECT_GE(single.bytesWanted(), 1u);
            single.feed(std::span(&stream[i], 1));
        }
        ASSERT_TRUE(single.complete()) << v.stream;
        EXPECT_EQ(single.data(), bytes(v.data)) << v.stream;
        EXPECT_EQ(single.bytesWanted(), 0u);
    }
}

TEST(ReplyDecoder, RejectsDamagedFramesAndFindsALaterGoodOne) {
    const Bytes good = bytes("55 FF 00 CF 30 54 AB 24 DB 47 B8");
    for (std::size_t i = 3; i < good.size(); ++i) {
        Bytes damaged = good;
        damaged[i] ^= 0x40;
        ReplyDecoder decoder(0x30, {true, 2, false});
        decoder.feed(damaged);
        EXPECT_FALSE(decoder.complete()) << "byte " << i;
        decoder.feed(good);
        ASSERT_TRUE(decoder.complete()) << "byte " << i;
        EXPECT_EQ(decoder.data(), bytes("54 24"));
    }
}

TEST(ReplyDecoder, SkipsTheEchoEvenWhenItLooksLikeAReplyOrIsDamaged) {
    // Play tone 0xDCFF for 2.20 s: its echo contains FF 00 DC 23 DC 23, a well-formed reply.
    const Bytes tone = encodePacket(bytes("23 FF DC DC"));
    ReplyDecoder decoder(0x23, {true, 0, false}, tone);
    decoder.feed(tone);
    EXPECT_FALSE(decoder.complete());
    EXPECT_TRUE(decoder.echoSeen());
    EXPECT_EQ(decoder.bytesAfterEcho(), 0u);
    EXPECT_EQ(decoder.bytesWanted(), 7u);
    decoder.feed(bytes("55 FF 00 DC 23 DC 23"));
    EXPECT_TRUE(decoder.complete());

    // The echo found after noise, and a corrupted echo survived.
    const Bytes request = bytes("55 FF 00 10 EF 10 EF");
    const Bytes reply = bytes("55 FF 00 EF 10 EF 10");
    ReplyDecoder noisy(0x10, {true, 0, false}, request);
    noisy.feed(bytes("00 13"));
    noisy.feed(request);
    noisy.feed(reply);
    EXPECT_TRUE(noisy.complete());
    EXPECT_TRUE(noisy.echoSeen());

    Bytes damagedEcho = request;
    damagedEcho[4] = 0x00;
    ReplyDecoder damaged(0x10, {true, 0, false}, request);
    damaged.feed(damagedEcho);
    EXPECT_EQ(damaged.bytesAfterEcho(), 0u);
    damaged.feed(reply);
    EXPECT_TRUE(damaged.complete());
    EXPECT_FALSE(damaged.echoSeen());
}

// What the session's attempt turns on: begun, broken (the brick heard the request), stale
// (something else as long as the reply), whole.
TEST(ReplyDecoder, SaysWhatItHeard) {
    const struct {
        const char* stream;
        Heard heard;
        bool replyBegan;
    } cases[] = {
        {"", Heard::Nothing, false},
        {"55 FF 00 CF 30", Heard::Begun, true},
        {"13 37", Heard::Begun, false},
        {"55 FF 00 CF 30 54 AB 24 DB 47 B7", Heard::Broken, true},
        {"55 FF 00 CF 31 54", Heard::Broken, true},
        {"55 FF 00 CF 31 55 FF 00 CF 30", Heard::Begun, true},
        {"55 FF 00 C7 38 54 AB 24 DB 3F C0", Heard::Stale, false},
        {"55 FF 00 CF 30 54 AB 24 DB 47 B8", Heard::Whole, true},
    };
    for (const auto& c : cases) {
        ReplyDecoder decoder(0x30, {true, 2, false});
        decoder.feed(bytes(c.stream));
        EXPECT_EQ(decoder.heard(), c.heard) << c.stream;
        EXPECT_EQ(decoder.replyBegan(), c.replyBegan) << c.stream;
    }
}

TEST(RequestDecoder, CutsRequestsFromAStream) {
    const Bytes stream = bytes(
        "55 FF 00 21 DE 81 7E A2 5D "              // motor A on
        "11 22 FF 00 "                             // noise
        "55 FF 00 13 EC 01 FE 02 FD 05 FA 1B E4 "  // pwr 1,2,5
        "55 FF 00 13 EC 01 FE 02 FD 05 FA 1C E3 "  // bad checksum: dropped
        "55 FF 00 07 F8 00 FF 07 F8 "              // unknown opcode: ignored
        "55 FF 00 1A E5 09 F6 01 FE 24 DB");       // poll, toggled
    const std::vector<Bytes> expected = {bytes("21 81"), bytes("13 01 02 05"), bytes("1A 09 01")};

    RequestDecoder whole;
    EXPECT_EQ(whole.feed(stream), expected);
    EXPECT_EQ(whole.pending(), 0u);

    RequestDecoder single;
    std::vector<Bytes> got;
    for (std::uint8_t b : stream) {
        for (Bytes& r : single.feed(std::span(&b, 1))) got.push_back(r);
    }
    EXPECT_EQ(got, expected);
}

TEST(RequestDecoder, RecoversWhenAByteWasLost) {
    RequestDecoder decoder;
    // The first copy lost its last byte, so it takes in the start of the resend and fails its
    // check.
    EXPECT_TRUE(decoder.feed(bytes("55 FF 00 21 DE 81 7E A2")).empty());
    EXPECT_EQ(decoder.feed(bytes("55 FF 00 21 DE 81 7E A2 5D")),
              std::vector<Bytes>{bytes("21 81")});
}
