// Framing against the reference's vectors, in both directions.
#include "Packet.h"

#include <gtest/gtest.h>

#include "TestBytes.h"

using namespace towerlink;
using test::bytes;

// The requests' reference packets are checked with the command texts that make them.
TEST(Packet, EncodesReferenceVectors) {
    const struct {
        const char* payload;
        const char* packet;
    } cases[] = {
        {"CF 54 24", "55 FF 00 CF 30 54 AB 24 DB 47 B8"},
        {"EA 00 03 00 01 00 03 00 09",
         "55 FF 00 EA 15 00 FF 03 FC 00 FF 01 FE 00 FF 03 FC 00 FF 09 F6 FA 05"},
        {"5B 40 37 00 20 2C 01", "55 FF 00 5B A4 40 BF 37 C8 00 FF 20 DF 2C D3 01 FE 1F E0"},
        {"5B", "55 FF 00 5B A4 5B A4"},
        {"1A 09 01", "55 FF 00 1A E5 09 F6 01 FE 24 DB"},
        {"E7", "55 FF 00 E7 18 E7 18"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodePacket(bytes(c.payload)), bytes(c.packet)) << c.payload;
    }
}

TEST(Packet, ChecksFramesPairByPair) {
    const Bytes packet = bytes("55 FF 00 CF 30 54 AB 24 DB 47 B8");
    const std::span<const std::uint8_t> body(packet.data() + 3, packet.size() - 3);
    Bytes payload;
    EXPECT_EQ(checkFrame(body, 3, payload), FrameCheck::Valid);
    EXPECT_EQ(payload, bytes("CF 54 24"));
    EXPECT_EQ(checkFrame(body.first(5), 3, payload), FrameCheck::Incomplete);
    // A wrong length puts a data byte where the checksum should be.
    EXPECT_EQ(checkFrame(body, 2, payload), FrameCheck::Invalid);
    for (std::size_t i = 0; i < body.size(); ++i) {
        Bytes damaged(body.begin(), body.end());
        damaged[i] ^= 0x01;
        EXPECT_EQ(checkFrame(damaged, 3, payload), FrameCheck::Invalid) << "byte " << i;
    }
}
