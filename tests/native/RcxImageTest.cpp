// The program image reader: files NQC wrote read back chunk for chunk, and one table of damaged
// or unusual files with what the reader says of each.
#include "RcxImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "TestBytes.h"

namespace towerlink::test {
namespace {

Bytes programFile(const std::string& name) {
    std::ifstream in(std::string(KESTREL_TEST_PROGRAMS) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// NQC's image of tests/native/programs/touch.nqc: one task of 24 bytes and its name.
const Bytes kTouch = programFile("touch.rcx");

TEST(RcxImage, ReadsWhatNqcWrote) {
    // Kinds, numbers, names and lengths as `nqc -L` lists them; NQC writes subroutines first.
    const struct {
        std::string file;
        std::string chunks;
    } cases[] = {
        {"tasks.rcx",
         "sub 0 turn 12, sub 1 beep 2, task 0 main 32, task 1 beeper 8, task 2 counter 30, "},
        {"long.rcx", "task 0 main 148, "},
    };
    for (const auto& c : cases) {
        auto image = readRcxImage(programFile(c.file));
        ASSERT_TRUE(image.ok()) << c.file << ": " << describe(image.error());
        EXPECT_EQ(image->target, 3) << c.file;
        std::string got;
        for (const ImageChunk& chunk : image->chunks) {
            got += (chunk.kind == ImageChunkKind::Task ? "task " : "sub ") +
                   std::to_string(chunk.number) + " " + chunk.name + " " +
                   std::to_string(chunk.code.size()) + ", ";
        }
        EXPECT_EQ(got, c.chunks) << c.file;
    }
}

TEST(RcxImage, NamesTheOffsetOfEveryFaultAndAcceptsWhatIsHarmless) {
    using Edit = std::function<void(Bytes&)>;
    auto set = [](std::size_t at, std::uint8_t v) { return Edit([=](Bytes& f) { f[at] = v; }); };
    auto cut = [](std::size_t size) { return Edit([=](Bytes& f) { f.resize(size); }); };
    auto add = [](Bytes more) {
        return Edit([=](Bytes& f) { f.insert(f.end(), more.begin(), more.end()); });
    };
    auto edits = [](std::vector<Edit> list) {
        return Edit([=](Bytes& f) {
            for (const Edit& e : list) e(f);
        });
    };
    const struct {
        std::string what;
        Edit edit;
        std::string message;  // empty: read as the untouched file
    } cases[] = {
        {"untouched", [](Bytes&) {}, ""},
        {"no symbols", edits({set(8, 0), cut(40)}), ""},
        {"padding after the symbols", add({0, 0, 0}), ""},
        {"version 1.00", set(4, 0x00), ""},
        {"a variable's name", edits({set(8, 2), add({2, 0, 2, 0, 'x', 0})}), ""},
        {"signature", set(3, 'J'),
         "byte 0: not an RCX program image (it does not begin with \"RCXI\")"},
        {"empty file", cut(0),
         "byte 0: not an RCX program image (it does not begin with \"RCXI\")"},
        {"newer version", set(4, 0x03),
         "byte 4: image version 1.03 is newer than this reader knows (1.02)"},
        {"short header", cut(10), "byte 10: the file ends inside its header"},
        {"no chunks", set(6, 0), "byte 6: the image holds no task and no subroutine"},
        {"chunk header cut", edits({set(6, 2), set(8, 0), cut(42)}),
         "byte 42: the file ends inside the header of chunk 2 of 2"},
        {"chunk body cut", cut(30), "byte 30: task 0 announces 24 bytes, the file ends after 14"},
        {"sound", set(12, 2),
         "byte 12: chunk of kind 2 (sound): the RCX takes only tasks and subroutines"},
        {"animation", set(12, 3),
         "byte 12: chunk of kind 3 (animation): the RCX takes only tasks and subroutines"},
        {"task 10", set(13, 10), "byte 13: task 10: the RCX has tasks 0 to 9"},
        {"subroutine 8", edits({set(12, 1), set(13, 8)}),
         "byte 13: subroutine 8: the RCX has subroutines 0 to 7"},
        {"task 0 twice",
         edits(
             {set(6, 2), set(8, 0), cut(40), add(Bytes(kTouch.begin() + 12, kTouch.begin() + 40))}),
         "byte 40: task 0 appears twice"},
        {"symbol header cut", cut(42), "byte 42: the file ends inside the header of symbol 1 of 1"},
        {"symbol name cut", cut(45),
         "byte 45: symbol 1 announces 5 bytes of name, the file ends after 1"},
        {"too large", [](Bytes& f) { f.resize(kMaxProgramFileSize + 1); },
         "byte 65536: the file is longer than 64 KiB: no RCX program is that large"},
    };
    for (const auto& c : cases) {
        Bytes file = kTouch;
        c.edit(file);
        auto image = readRcxImage(file);
        if (c.message.empty()) {
            ASSERT_TRUE(image.ok()) << c.what << ": " << describe(image.error());
            ASSERT_EQ(image->chunks.size(), 1u) << c.what;
            EXPECT_EQ(image->chunks[0].code.size(), 24u) << c.what;
        } else {
            EXPECT_EQ(image.ok() ? "read" : describe(image.error()), c.message) << c.what;
        }
    }
    // A last chunk whose length is no multiple of 4 may end the file without its padding.
    auto image = readRcxImage(bytes("52 43 58 49 02 01 01 00 00 00 03 00  01 07 03 00  51 05 F6"));
    ASSERT_TRUE(image.ok()) << describe(image.error());
    EXPECT_EQ(image->chunks[0].kind, ImageChunkKind::Subroutine);
    EXPECT_EQ(image->chunks[0].code, bytes("51 05 F6"));
}

}  // namespace
}  // namespace towerlink::test
