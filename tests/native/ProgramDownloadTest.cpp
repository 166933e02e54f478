// Program download against the in-process virtual brick: NQC's byte sequence, every status the
// brick answers and every loss on the way, a noisy line; and the brick's side, request by request,
// as other tools send it.
#include "ProgramDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "BrickRig.h"
#include "ByteOrder.h"
#include "ProgramCommands.h"
#include "TestBytes.h"

namespace towerlink::test {
namespace {

RcxImage programImage(const std::string& name) {
    std::ifstream in(std::string(KESTREL_TEST_PROGRAMS) + "/" + name, std::ios::binary);
    const Bytes file(std::istreambuf_iterator<char>(in), {});
    auto image = readRcxImage(file);
    EXPECT_TRUE(image.ok()) << name;
    return image.ok() ? image.value() : RcxImage{};
}

struct DownloadRig : BrickRig {
    using BrickRig::BrickRig;

    std::span<const std::uint8_t> stored(int slot, const ImageChunk& c) const {
        return brick.programs().store().chunk(
            slot, c.kind == ImageChunkKind::Task ? ChunkKind::Task : ChunkKind::Subroutine,
            c.number);
    }
    // Whether slot holds exactly the image's chunks and nothing else.
    bool holdsExactly(int slot, const RcxImage& image) const {
        std::size_t count = 0;
        for (const ImageChunk& c : image.chunks) {
            const auto s = stored(slot, c);
            if (!std::equal(s.begin(), s.end(), c.code.begin(), c.code.end())) return false;
            count += s.size();
        }
        return count + brick.programs().store().freeBytes() +
                   static_cast<std::size_t>(brick.programs().store().datalogBytes()) ==
               ProgramStore::kUserMemory;
    }
};

TEST(ProgramDownload, SendsNqcsSequenceByteForByte) {
    DownloadRig rig;
    const RcxImage image = programImage("touch.rcx");
    ASSERT_TRUE(downloadProgram(rig.session, image).ok());
    const std::vector<Bytes> expected = {
        packet("10"),
        packet("50"),
        packet("40"),
        packet("70"),
        packet("25 00 00 00 18 00"),
        packet("45 01 00 14 00 13 07 02 07 E1 87 32 00 01 42 00 20 21 81 95 82 09 01 00 00 E3"),
        packet("4D 00 00 04 00 FA FF 21 41 5B"),
        packet("51 05"),
    };
    EXPECT_EQ(rig.tap.written, expected);
    EXPECT_TRUE(rig.holdsExactly(0, image));
    EXPECT_EQ(rig.brick.state().sounds, std::vector<int>{5});
}

TEST(ProgramDownload, SelectsTheSlotReplacesItsProgramAndReportsProgress) {
    DownloadRig rig;
    const RcxImage image = programImage("tasks.rcx");
    ProgramStore& store = rig.brick.programs().store();
    store.put(0, ChunkKind::Task, 0, bytes("21 81"));  // another slot's program stays
    store.put(2, ChunkKind::Task, 7, bytes("21 82"));  // this slot's old task goes
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    auto done = downloadProgram(rig.session, image, {.slot = 3, .quiet = true},
                                [&](std::size_t d, std::size_t t) { progress.emplace_back(d, t); });
    ASSERT_TRUE(done.ok()) << done.error().failure.message;
    EXPECT_EQ(rig.brick.state().program, 2);
    EXPECT_TRUE(rig.brick.state().sounds.empty());
    EXPECT_FALSE(store.has(2, ChunkKind::Task, 7));
    EXPECT_TRUE(std::ranges::equal(store.chunk(0, ChunkKind::Task, 0), bytes("21 81")));
    store.erase(0, ChunkKind::Task, 0);
    EXPECT_TRUE(rig.holdsExactly(2, image));
    // Subroutines first (12, 2), then tasks (32 in two blocks, 8, 30 in two blocks).
    const std::vector<std::pair<std::size_t, std::size_t>> expected = {
        {0, 84}, {12, 84}, {14, 84}, {34, 84}, {46, 84}, {54, 84}, {74, 84}, {84, 84}};
    EXPECT_EQ(progress, expected);
}

TEST(ProgramDownload, HandlesEveryStatusAndEveryLoss) {
    using Fate = Tap::Fate;
    const RcxImage image = programImage("touch.rcx");
    // The n-th request with `opcode` (base form) gets `fate`, after `change`.
    auto nth = [](std::uint8_t opcode, std::vector<int> which, Fate fate,
                  std::function<void(Bytes&)> change = {}) {
        return [=, seen = 0](Bytes& p) mutable {
            if (baseOpcode(p[0]) != opcode) return Fate::Deliver;
            if (std::find(which.begin(), which.end(), ++seen) == which.end()) return Fate::Deliver;
            if (change) change(p);
            return fate;
        };
    };
    auto badSum = [](Bytes& p) { p.back() ^= 0xFF; };
    const std::string kept = "; the current program slot may now hold part of the program";
    const struct {
        std::string what;
        std::function<Fate(Bytes&)> onRequest;  // none: the brick itself is set up by `what`
        std::string message;                    // empty: the program arrives exactly
    } cases[] = {
        {"a block damaged twice", nth(0x45, {1, 2}, Fate::Deliver, badSum), ""},
        {"a block request lost", nth(0x45, {1}, Fate::Lose), ""},
        {"a block reply lost", nth(0x45, {2}, Fate::LoseReply), ""},
        {"a block damaged three times", nth(0x45, {1, 2, 3}, Fate::Deliver, badSum),
         "task 0, block 1: the brick keeps finding its checksum wrong" + kept},
        {"no memory", {}, "task 0: the brick has not enough free memory for it" + kept},
        {"a bad number", nth(0x25, {1}, Fate::Deliver, [](Bytes& p) { p[2] = 12; }),
         "task 0: the brick refuses its number" + kept},
        // Block 1 arrives as a last block, so the real one finds none.
        {"no download under way", nth(0x45, {1}, Fate::Deliver, [](Bytes& p) { p[1] = 0; }),
         "task 0, the last block (0): the brick has no download under way" + kept},
        {"a brick that falls silent", nth(0x45, {1, 2, 3, 4}, Fate::Lose), "task 0, block 1: "},
        {"a brick that is off", {}, "alive check: the brick does not answer (is it on?)"},
    };
    for (const auto& c : cases) {
        DownloadRig rig;
        rig.tap.onRequest = c.onRequest;
        if (c.what == "no memory") rig.brick.fillDatalog(2040);
        if (c.what == "a brick that is off") rig.brick.setFaults({.silent = true});
        auto done = downloadProgram(rig.session, image);
        if (c.message.empty()) {
            ASSERT_TRUE(done.ok()) << c.what << ": " << done.error().failure.message;
            EXPECT_TRUE(rig.holdsExactly(0, image)) << c.what;
            continue;
        }
        ASSERT_FALSE(done.ok()) << c.what;
        const std::string& message = done.error().failure.message;
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.what << ": " << message;
        EXPECT_EQ(done.error().untouched, message.find("may now hold") == std::string::npos)
            << c.what;
        EXPECT_FALSE(rig.brick.programs().store().has(0, ChunkKind::Task, 0)) << c.what;
    }
}

// Over a line that damages 2% of the bytes both ways, each download either leaves exactly the
// program in the slot or says that it failed; a chunk different from the one sent is never kept.
TEST(ProgramDownload, StoresExactlyTheProgramOrSaysItFailedOnANoisyLine) {
    const RcxImage image = programImage("tasks.rcx");
    int successes = 0;
    for (std::uint32_t sequence = 1; sequence <= 40; ++sequence) {
        DownloadRig rig({.echo = true, .paced = true}, sequence);
        rig.brick.setFaults({.corruptRate = 0.02});
        auto done = downloadProgram(rig.session, image, {.quiet = true});
        if (done.ok()) {
            ++successes;
            EXPECT_TRUE(rig.holdsExactly(0, image)) << "sequence " << sequence;
            continue;
        }
        for (const ImageChunk& c : image.chunks) {
            const auto s = rig.stored(0, c);
            EXPECT_TRUE(s.empty() || std::equal(s.begin(), s.end(), c.code.begin(), c.code.end()))
                << "sequence " << sequence << " chunk " << c.number;
        }
    }
    EXPECT_GT(successes, 0);
}

// The brick's side, packet by packet, in the shapes NQC, WebPBrick and TclRCX send.
TEST(ProgramReceiver, TakesOtherToolsSequencesAndRefusesWhatDoesNotFit) {
    ManualClock clock;
    VirtualBrick brick(clock);
    auto send = [&](const std::string& hex) { return brick.receive(packet(hex)); };
    auto block = [&](std::uint8_t opcode, int seq, const Bytes& data, int sumDelta = 0) {
        Bytes p{opcode};
        pushU16(p, seq);
        pushU16(p, static_cast<long long>(data.size()));
        p.insert(p.end(), data.begin(), data.end());
        p.push_back(static_cast<std::uint8_t>(blockChecksum(data) + sumDelta));
        return brick.receive(encodePacket(p));
    };
    const ProgramStore& store = brick.programs().store();
    // TclRCX: a begin and one whole block numbered 0 per chunk, nothing else.
    EXPECT_EQ(send("35 00 01 00 03 00"), packet("CA 00"));
    EXPECT_EQ(block(0x45, 0, bytes("51 05 F6")), packet("BA 00"));
    EXPECT_EQ(send("25 00 02 00 02 00"), packet("DA 00"));
    EXPECT_EQ(block(0x45, 0, bytes("21 81")), packet("BA 00"));
    EXPECT_EQ(block(0x4D, 1, bytes("21 81")), packet("B2 06"));  // nothing under way
    // WebPBrick: select, stop and delete first, every request toggled from the one before.
    EXPECT_EQ(send("99 01"), packet("66"));
    EXPECT_EQ(send("58"), packet("A7"));
    EXPECT_EQ(send("48"), packet("B7"));
    EXPECT_EQ(send("78"), packet("87"));
    EXPECT_EQ(send("2D 00 00 00 18 00"), packet("D2 00"));
    const std::string hexTwenty = "14 00 02 05 00 21 81 43 02 64 00 21 41 51 01 14 01 02 07 00";
    const Bytes twenty = bytes(hexTwenty);
    EXPECT_TRUE(block(0x45, 2, twenty).empty());            // out of order: no answer
    EXPECT_EQ(block(0x4D, 1, twenty, 1), packet("B2 03"));  // damaged: expected again
    EXPECT_EQ(block(0x45, 1, twenty), packet("BA 00"));
    EXPECT_EQ(block(0x45, 1, twenty), packet("BA 00"));  // a repeat, answered again
    EXPECT_EQ(block(0x4D, 0, bytes("27 81 51 02")), packet("B2 00"));
    EXPECT_TRUE(
        std::ranges::equal(store.chunk(1, ChunkKind::Task, 0), bytes(hexTwenty + " 27 81 51 02")));
    // Numbers, sizes and lengths the brick refuses; none leaves anything behind.
    EXPECT_EQ(send("25 00 0A 00 01 00"), packet("DA 02"));
    EXPECT_EQ(send("3D 00 08 00 01 00"), packet("C2 02"));
    EXPECT_EQ(send("25 00 03 00 01 18"), packet("DA 01"));  // 6145 bytes
    EXPECT_EQ(send("2D 00 04 00 03 00"), packet("D2 00"));
    EXPECT_EQ(block(0x45, 0, bytes("01 02 03 04")), packet("BA 03"));  // more than announced
    EXPECT_EQ(send("25 00 05 00 04 00"), packet("DA 00"));
    EXPECT_EQ(block(0x4D, 0, bytes("01 02")), packet("B2 00"));  // fewer than announced
    EXPECT_EQ(brick.programs().diagnostics().size(), 2u);
    // The memory map as `towerlink programs` shows it; deletes touch the current slot only.
    auto map = [&]() {
        Bytes reply = send("20");
        Bytes data;
        for (std::size_t i = kHeaderLength + 2; i + 2 < reply.size(); i += 2)
            data.push_back(reply[i]);
        return tool::describeMemoryMap(data);
    };
    EXPECT_EQ(map(),
              "program 1 task 2: 2 bytes\nprogram 1 sub 1: 3 bytes\nprogram 2 task 0: 24 bytes\n"
              "free: 6115 bytes\n");
    EXPECT_EQ(send("61 02"), packet("9E"));  // program 2 has no task 2
    EXPECT_EQ(send("91 00"), packet("6E"));
    EXPECT_EQ(send("C1 01"), packet("3E"));
    EXPECT_EQ(map(), "program 1 task 2: 2 bytes\nprogram 2 task 0: 24 bytes\nfree: 6118 bytes\n");
}

}  // namespace
}  // namespace towerlink::test
