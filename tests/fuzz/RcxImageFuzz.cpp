// libFuzzer target: arbitrary bytes through the program image reader. Whatever it accepts must
// be something the RCX can take (tasks 0-9 and subroutines 0-7, each at most once, no more code
// than the file holds) and read back the same when written out again in NQC's layout; whatever it
// rejects must name an offset within the file (or just past its end).
#include <array>
#include <cstdint>
#include <cstdlib>

#include "ByteOrder.h"
#include "RcxImage.h"

using namespace towerlink;

namespace {

Bytes write(const RcxImage& image) {
    Bytes out = {'R', 'C', 'X', 'I', 0x02, 0x01};
    pushU16(out, static_cast<long long>(image.chunks.size()));
    pushU16(out, 0);
    out.push_back(static_cast<std::uint8_t>(image.target));
    out.push_back(0);
    for (const ImageChunk& c : image.chunks) {
        out.push_back(static_cast<std::uint8_t>(c.kind));
        out.push_back(static_cast<std::uint8_t>(c.number));
        pushU16(out, static_cast<long long>(c.code.size()));
        out.insert(out.end(), c.code.begin(), c.code.end());
        out.resize(out.size() + ((4 - c.code.size()) & 3), 0);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    auto image = readRcxImage(file);
    if (!image.ok()) {
        if (image.error().offset > size || image.error().message.empty()) std::abort();
        return 0;
    }
    std::array<bool, 18> seen{};
    std::size_t code = 0;
    for (const ImageChunk& c : image->chunks) {
        const int limit = c.kind == ImageChunkKind::Task ? 10 : 8;
        if (c.number < 0 || c.number >= limit) std::abort();
        bool& s = seen[static_cast<std::size_t>(static_cast<int>(c.kind) * 10 + c.number)];
        if (s) std::abort();
        s = true;
        code += c.code.size();
    }
    if (image->chunks.empty() || code > size) std::abort();
    auto back = readRcxImage(write(image.value()));
    if (!back.ok() || back->chunks.size() != image->chunks.size()) std::abort();
    for (std::size_t i = 0; i < back->chunks.size(); ++i) {
        const ImageChunk &a = image->chunks[i], &b = back->chunks[i];
        if (a.kind != b.kind || a.number != b.number || a.code != b.code) std::abort();
    }
    return 0;
}
