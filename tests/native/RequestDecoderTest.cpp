// The brick's framing: requests cut from a noisy, arbitrarily chunked stream.
#include "RequestDecoder.h"

#include <gtest/gtest.h>

#include "TestBytes.h"

using namespace towerlink;
using test::bytes;

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
    EXPECT_GT(decoder.pending(), 0u);
    EXPECT_EQ(decoder.feed(bytes("55 FF 00 21 DE 81 7E A2 5D")),
              std::vector<Bytes>{bytes("21 81")});
}
