// Datalog reads at every byte offset and length, the chunking of uploads, and uploads on a
// noisy line.
#include "Datalog.h"

#include <gtest/gtest.h>

#include "BrickRig.h"

using namespace towerlink;
using test::BrickRig;

namespace {

// The whole log as the brick holds it, byte by byte.
Bytes expectedBytes(const BrickState& s) {
    Bytes out{0xFF, static_cast<std::uint8_t>(s.datalog.size() + 1),
              static_cast<std::uint8_t>((s.datalog.size() + 1) >> 8)};
    for (const DatalogEntry& e : s.datalog) {
        out.push_back(e.type);
        out.push_back(static_cast<std::uint8_t>(e.value & 0xFF));
        out.push_back(static_cast<std::uint8_t>((e.value >> 8) & 0xFF));
    }
    return out;
}

}  // namespace

TEST(Datalog, ReadsEveryByteRange) {
    BrickRig rig;
    rig.brick.fillDatalog(7);
    Datalog log(rig.session);
    ASSERT_EQ(log.extent().value(), 24);
    const Bytes all = expectedBytes(rig.brick.state());
    for (int first = -2; first <= 26; ++first) {
        for (int count = -1; count <= 27; ++count) {
            auto got = log.readBytes(first, count);
            ASSERT_TRUE(got.ok());
            const int begin = std::max(first, 0);
            const int end = std::min(first + count, 24);
            const Bytes want =
                begin < end ? Bytes(all.begin() + begin, all.begin() + end) : Bytes{};
            EXPECT_EQ(got.value(), want) << "first " << first << " count " << count;
        }
    }
}

TEST(Datalog, HandlesAnEmptyOrMissingLogAndFailures) {
    BrickRig rig;
    Datalog log(rig.session);
    EXPECT_EQ(log.extent().value(), 0);
    EXPECT_TRUE(log.readBytes(0, 10).value().empty());
    rig.run("logz 5");
    EXPECT_EQ(log.extent().value(), 3);
    rig.run("log 0,1");
    EXPECT_EQ(log.extent().value(), 6);
    rig.brick.setFaults({.silent = true});
    EXPECT_EQ(log.readBytes(0, 3).value(), (Bytes{0xFF, 2, 0}));  // known without asking
    auto failed = log.readBytes(0, 6);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().error, LinkError::NoBrick);
}

// Uploads go in few balanced chunks, reporting progress. Long replies rarely arrive whole on a
// noisy line: the upload shrinks until they do, and on a clean line it is back to the fewest
// chunks.
TEST(Datalog, UploadsInFewChunksAndShorterOnesOnANoisyLine) {
    for (auto [entries, chunk] : {std::pair{1, 1}, {50, 50}, {51, 26}, {101, 34}})
        EXPECT_EQ(Datalog::chunkSize(entries), chunk) << entries;
    const std::vector<std::pair<int, int>> fewest = {{50, 100}, {100, 100}};
    const struct {
        double rate;  // 0 for a clean line
        bool inbound;
        std::uint32_t sequence;
    } lines[] = {
        {0, false, 0}, {0.02, false, 1}, {0.05, false, 2}, {0.05, true, 3}, {0.05, true, 4}};
    for (const auto& line : lines) {
        BrickRig rig({.echo = true, .paced = true});
        rig.brick.fillDatalog(100);
        Datalog log(rig.session);
        ASSERT_EQ(log.extent().value(), 303);
        rig.brick.restartFaults(line.sequence);
        rig.brick.setFaults({.corruptRate = line.rate, .inbound = line.inbound});
        std::vector<std::pair<int, int>> progress;
        log.setProgressHandler([&](int done, int total) { progress.emplace_back(done, total); });
        auto all = log.readBytes(0, 303);
        ASSERT_TRUE(all.ok()) << line.rate << " " << all.error().message;
        EXPECT_EQ(all.value(), expectedBytes(rig.brick.state()));
        EXPECT_TRUE(line.rate > 0 ? progress.size() > 2u : progress == fewest) << line.rate;

        rig.brick.setFaults({});
        progress.clear();
        ASSERT_TRUE(log.readBytes(3, 300).ok());
        EXPECT_EQ(progress, fewest);
    }
}
