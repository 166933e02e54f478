// Firmware files, the download sequence, and the virtual brick's ROM that receives it.
#include <gtest/gtest.h>

#include "BrickRig.h"
#include "FirmwareDownload.h"
#include "SRecord.h"
#include "SRecordText.h"
#include "TestBytes.h"
#include "VirtualRom.h"

using namespace towerlink;
using test::BrickRig;
using test::bytes;
using test::packet;
using test::srec;

namespace {

// A recognisable image of `size` bytes that names its version.
FirmwareImage testImage(std::size_t size, int major = 3, int minor = 28) {
    FirmwareImage image;
    for (std::size_t i = 0; i < size; ++i) image.data.push_back((i * 7 + i / 251) & 0xFF);
    const std::uint8_t tag[] = {'F', 'W', 'V', 'E', 'R', std::uint8_t(major), std::uint8_t(minor)};
    std::copy(std::begin(tag), std::end(tag), image.data.begin() + 16);
    return image;
}

}  // namespace

TEST(SRecord, ReadsEveryRecordKindAndFillsGaps) {
    const std::string text = srec(0, 0, bytes("66 69 72 6D")) + srec(1, 0x8000, bytes("01 02")) +
                             srec(2, 0x8004, bytes("03")) + srec(3, 0x8005, bytes("04 05")) +
                             srec(5, 3, {}) + srec(9, 0x8000, {});
    auto image = readSRecords(text);
    ASSERT_TRUE(image.ok()) << describe(image.error());
    EXPECT_EQ(image->data, bytes("01 02 00 00 03 04 05"));
    EXPECT_EQ(image->entry, 0x8000u);
    // Windows line ends and the other end records.
    for (int end : {7, 8}) {
        std::string crlf = srec(1, 0x8000, bytes("AA")) + srec(end, 0x8002, {});
        crlf.insert(crlf.find('\n'), "\r");
        auto other = readSRecords(crlf);
        ASSERT_TRUE(other.ok()) << end;
        EXPECT_EQ(other->entry, 0x8002u);
    }
}

TEST(SRecord, NamesTheLineOfEachKindOfDamage) {
    const std::string good = srec(1, 0x8000, bytes("01 02 03"));
    const std::string end = srec(9, 0x8000, {});
    std::string badSum = good;
    badSum[badSum.size() - 2] = badSum[badSum.size() - 2] == '0' ? '1' : '0';
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {good + badSum + end, "line 2: bad checksum"},
        {good + "S1058003G10011\n" + end, "line 2: bad hex digit at column 9"},
        {good + srec(1, 0x8002, bytes("09")) + end, "line 2: data at 0x8002 overlaps or precedes"},
        {srec(1, 0x7FFF, bytes("01 02")) + end, "line 1: data at 0x7FFF lies outside"},
        {srec(3, 0xEFFF, bytes("01 02")) + end, "line 1: data at 0xEFFF lies outside"},
        {good + srec(9, 0x1234, {}), "line 2: entry 0x1234 lies outside"},
        {good, "no end record"},
        {end, "holds no data records"},
        {srec(1, 0x8000, bytes("01"), 1) + end, "line 1: the byte count"},
        {good + end + good, "line 3: data after the end record"},
        {"\n" + good + "hello\n", "line 3: not an S-record"},
        {good + "S10580030G0011\n" + end, "line 2: bad hex digit at column 10"},
        {good + "S1058003010203F\n" + end, "line 2: an odd number of hex digits"},
        {srec(3, 0xFFFFFFFF, bytes("01")) + end, "line 1: data at 0xFFFFFFFF lies outside"},
        {good + srec(5, 2, {}) + end, "line 2: the record count says 2, but 1 data records"},
        {"", "the file is empty"},
        {" \r\n\n", "the file is empty"},
    };
    for (const auto& c : cases) {
        auto image = readSRecords(c.text);
        ASSERT_FALSE(image.ok()) << c.text;
        EXPECT_NE(describe(image.error()).find(c.message), std::string::npos)
            << describe(image.error());
    }
}

// The range check in the reader's own 32-bit arithmetic, so that it holds on every build.
TEST(SRecord, RangeCheckNeverWrapsAndEmptyRecordsAddNothing) {
    const struct {
        std::uint32_t address, length;
        bool inside;
    } cases[] = {{0x8000, 0x7000, true},    {0xEFFF, 1, true},          {0xF000, 0, true},
                 {0x8000, 0x7001, false},   {0x7FFF, 1, false},         {0xFFFFFFFF, 1, false},
                 {0xFFFFFFF0, 0x20, false}, {0xFFFF8001, 0x8000, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(insideFirmwareArea(c.address, c.length), c.inside) << std::hex << c.address;
    }
    auto image = readSRecords(srec(1, 0x8000, bytes("01 02 03 04")) + "S103F0000C\n" +
                              srec(5, 2, {}) + srec(9, 0x8000, {}));
    ASSERT_TRUE(image.ok()) << describe(image.error());
    EXPECT_EQ(image->data.size(), 4u);
}

TEST(FirmwareDownload, PutsTheImageOnABrickWithoutFirmwareAndReportsProgress) {
    BrickRig rig;
    rig.brick.setFirmware(false);
    const FirmwareImage image = testImage(1050);
    std::vector<std::size_t> seen;
    auto version = downloadFirmware(rig.session, image, [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, 1050u);
        seen.push_back(done);
    });
    ASSERT_TRUE(version.ok()) << version.error().failure.message;
    EXPECT_EQ(version.value(), (FirmwareVersion{3, 28}));
    EXPECT_EQ(rig.brick.rom().image(), image.data);
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 200, 400, 600, 800, 1000, 1050}));
    EXPECT_EQ(rig.answer("pollb"), 9300);  // the firmware runs
}

TEST(FirmwareDownload, ReplacesFirmwareThatIsThere) {
    BrickRig rig;
    rig.brick.setFaults({.silent = true});
    auto off = downloadFirmware(rig.session, testImage(300));
    ASSERT_FALSE(off.ok());
    EXPECT_TRUE(off.error().untouched) << "nothing deleted from a brick that is off";
    rig.brick.setFaults({});
    auto version = downloadFirmware(rig.session, testImage(300, 4, 1));
    ASSERT_TRUE(version.ok()) << version.error().failure.message;
    EXPECT_EQ(version.value(), (FirmwareVersion{4, 1}));
}

TEST(FirmwareDownload, ABrickThatFallsSilentNamesTheBlockAndASecondRunSucceeds) {
    BrickRig rig;
    rig.brick.setFirmware(false);
    const FirmwareImage image = testImage(1000);
    auto failed = downloadFirmware(rig.session, image, [&](std::size_t done, std::size_t) {
        if (done == 400) rig.brick.setFaults({.silent = true});
    });
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().block, 3);
    EXPECT_FALSE(failed.error().untouched);
    EXPECT_EQ(failed.error().failure.error, LinkError::NoBrick);
    EXPECT_EQ(failed.error().failure.message.rfind("sending block 3: ", 0), 0u)
        << failed.error().failure.message;
    rig.brick.setFaults({});
    EXPECT_FALSE(rig.session.execute(Request::getBattery()).ok());  // still in its ROM
    auto again = downloadFirmware(rig.session, image);
    ASSERT_TRUE(again.ok()) << again.error().failure.message;
    EXPECT_EQ(rig.brick.rom().image(), image.data);
}

// Blocks shrink on a noisy line and the image still arrives whole and once, byte for byte, under
// every fault sequence; a line too noisy for anything says so rather than blaming the brick.
TEST(FirmwareDownload, AdaptsItsBlocksToANoisyLine) {
    const struct {
        double rate;
        bool inbound, outbound;
        std::uint32_t sequences;
    } cases[] = {{0.01, true, false, 3}, {0.01, true, true, 5}, {0.02, true, true, 5}};
    const FirmwareImage image = testImage(16384);
    for (const auto& c : cases) {
        for (std::uint32_t sequence = 1; sequence <= c.sequences; ++sequence) {
            BrickRig rig;
            rig.brick.setFirmware(false);
            rig.brick.restartFaults(sequence);
            rig.brick.setFaults(
                {.corruptRate = c.rate, .inbound = c.inbound, .outbound = c.outbound});
            auto version = downloadFirmware(rig.session, image);
            ASSERT_TRUE(version.ok()) << c.rate << " " << c.outbound << " sequence " << sequence
                                      << ": " << version.error().failure.message;
            EXPECT_EQ(rig.brick.rom().image(), image.data);
            // A block taken whose reply was lost came again, and went in once.
            if (c.outbound) {
                EXPECT_GT(rig.brick.state().repeatsAnswered, 0) << sequence;
            }
        }
    }
    BrickRig rig;
    rig.brick.setFirmware(false);
    auto failed = downloadFirmware(rig.session, image, [&](std::size_t done, std::size_t) {
        if (done > 0) rig.brick.setFaults({.corruptRate = 0.3, .inbound = false});
    });
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().failure.error, LinkError::BadCommunication);
    EXPECT_NE(failed.error().failure.message.find(": the line is too noisy"), std::string::npos)
        << failed.error().failure.message;
}

// The ROM's own checks, request by request, as a program other than ours may send them.
TEST(VirtualRom, ChecksBlockOrderBlockChecksumsAndTheImageChecksum) {
    ManualClock clock;
    VirtualBrick brick(clock);
    auto send = [&](const std::string& hex) { return brick.receive(packet(hex)); };
    const Bytes kOk = packet("8A 00"), kBlockOk = packet("BA 00");
    // A block header claiming far more data than any block holds is noise, not a reason to
    // stop listening: the ping after it is answered.
    EXPECT_EQ(brick.receive(bytes("55 FF 00 45 BA 01 FE 00 FF FF 00 FF 00  55 FF 00 10 EF 10 EF")),
              packet("EF"));
    EXPECT_TRUE(send("75 00 80 06 00 00").empty());            // ignored while firmware runs
    EXPECT_EQ(send("4D 01 00 01 00 01 01"), packet("B2 06"));  // no download under way
    EXPECT_EQ(send("65 01 03 05 07 0B"), packet("9A"));
    EXPECT_TRUE(send("30").empty());                              // the ROM alone answers
    EXPECT_TRUE(send("AD 4C 45 47 4F AE").empty());               // nothing to start yet
    EXPECT_EQ(send("75 00 80 06 00 00"), kOk);                    // image sum 6
    EXPECT_TRUE(send("4D 02 00 01 00 01 01").empty());            // out of order
    EXPECT_EQ(send("45 01 00 02 00 01 02 04"), packet("BA 03"));  // bad block checksum
    EXPECT_TRUE(send("4D 01 00 02 00 01 02 03").empty());         // block 1 is past now
    EXPECT_EQ(send("45 02 00 02 00 01 02 03"), kBlockOk);
    EXPECT_EQ(send("4D 00 00 01 00 02 02"), packet("B2 04"));  // sum 5, not 6
    EXPECT_TRUE(send("A5 4C 45 47 4F AE").empty());
    EXPECT_EQ(send("7D 00 80 06 00 00"), packet("82 00"));  // again, all well
    EXPECT_EQ(send("45 00 00 03 00 01 02 03 06"), kBlockOk);
    EXPECT_TRUE(send("A5 4C 45 47 4F AF").empty());  // wrong key
    EXPECT_EQ(
        send("AD 4C 45 47 4F AE"),
        packet("52 4A 75 73 74 20 61 20 62 69 74 20 6F 66 66 20 74 68 65 20 62 6C 6F 63 6B 21"));
    EXPECT_EQ(brick.rom().image(), bytes("01 02 03"));
    EXPECT_EQ(send("15 01 03 05 07 0B"), packet("EA 00 03 00 01 00 03 00 09"));
}

// brickOS's firmdl3 numbers its last block like the others: the ROM checks the image when asked
// to unlock it, and starts it only when the sum announced at the start is right.
TEST(VirtualRom, ChecksTheImageAtUnlockWhenNoLastBlockCame) {
    for (const bool sumRight : {true, false}) {
        ManualClock clock;
        VirtualBrick brick(clock);
        brick.setFirmware(false);
        auto send = [&](const std::string& hex) { return brick.receive(packet(hex)); };
        EXPECT_EQ(send(sumRight ? "75 1A 80 06 00 00" : "75 1A 80 07 00 00"), packet("8A 00"));
        EXPECT_EQ(send("45 01 00 02 00 01 02 03"), packet("BA 00"));
        EXPECT_EQ(send("4D 02 00 01 00 03 03"), packet("B2 00"));
        EXPECT_EQ(send("A5 4C 45 47 4F AE").empty(), !sumRight);
        EXPECT_EQ(brick.state().firmware, sumRight);
        EXPECT_EQ(brick.rom().entry(), 0x801A);
    }
}
