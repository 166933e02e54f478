// NQC's program image reader.
#include "RcxImage.h"

#include <algorithm>
#include <array>

#include "ByteOrder.h"
#include "MemoryMap.h"

namespace towerlink {
namespace {

constexpr std::uint8_t kSignature[4] = {'R', 'C', 'X', 'I'};
constexpr std::uint16_t kNewestVersion = 0x0102;
constexpr std::size_t kHeaderSize = 12, kChunkHeaderSize = 4, kSymbolHeaderSize = 4;
using memory_map::kSubroutines;  // what a program slot holds
using memory_map::kTasks;

const char* kindName(int kind) {
    switch (kind) {
        case 0: return "task";
        case 1: return "subroutine";
        case 2: return "sound";
        case 3: return "animation";
        default: return "unknown";
    }
}

RcxImageError fault(std::size_t offset, std::string message) {
    return {offset, std::move(message)};
}

std::string chunkName(ImageChunkKind kind, int number) {
    return std::string(kind == ImageChunkKind::Task ? "task " : "subroutine ") +
           std::to_string(number);
}

std::string versionText(std::uint16_t v) {
    const int minor = v & 0xFF;
    return std::to_string(v >> 8) + "." + (minor < 10 ? "0" : "") + std::to_string(minor);
}

}  // namespace

Result<RcxImage, RcxImageError> readRcxImage(std::span<const std::uint8_t> file) {
    if (file.size() > kMaxProgramFileSize) {
        return fault(kMaxProgramFileSize, "the file is longer than " +
                                              std::to_string(kMaxProgramFileSize / 1024) +
                                              " KiB: no RCX program is that large");
    }
    if (file.size() < 4 || !std::equal(std::begin(kSignature), std::end(kSignature), file.begin()))
        return fault(0, "not an RCX program image (it does not begin with \"RCXI\")");
    if (file.size() < kHeaderSize) return fault(file.size(), "the file ends inside its header");
    const std::uint16_t version = readU16(file, 4);
    if (version > kNewestVersion) {
        return fault(4, "image version " + versionText(version) +
                            " is newer than this reader knows (" + versionText(kNewestVersion) +
                            ")");
    }
    const int chunkCount = readU16(file, 6), symbolCount = readU16(file, 8);
    RcxImage image;
    image.target = file[10];
    if (chunkCount == 0) return fault(6, "the image holds no task and no subroutine");

    std::array<bool, kTasks + kSubroutines> seen{};
    std::size_t at = kHeaderSize;
    for (int i = 0; i < chunkCount; ++i) {
        if (file.size() - at < kChunkHeaderSize) {
            return fault(file.size(), "the file ends inside the header of chunk " +
                                          std::to_string(i + 1) + " of " +
                                          std::to_string(chunkCount));
        }
        const int kind = file[at], number = file[at + 1];
        const std::size_t length = readU16(file, at + 2);
        if (kind > 1) {
            return fault(at, "chunk of kind " + std::to_string(kind) + " (" + kindName(kind) +
                                 "): the RCX takes only tasks and subroutines");
        }
        const auto chunkKind = static_cast<ImageChunkKind>(kind);
        const int limit = chunkKind == ImageChunkKind::Task ? kTasks : kSubroutines;
        if (number >= limit) {
            return fault(at + 1, chunkName(chunkKind, number) + ": the RCX has " + kindName(kind) +
                                     "s 0 to " + std::to_string(limit - 1));
        }
        bool& already = seen[static_cast<std::size_t>(kind * kTasks + number)];
        if (already) return fault(at, chunkName(chunkKind, number) + " appears twice");
        already = true;
        const std::size_t body = at + kChunkHeaderSize;
        if (file.size() - body < length) {
            return fault(file.size(), chunkName(chunkKind, number) + " announces " +
                                          std::to_string(length) + " bytes, the file ends after " +
                                          std::to_string(file.size() - body));
        }
        image.chunks.push_back({chunkKind,
                                number,
                                Bytes(file.begin() + static_cast<std::ptrdiff_t>(body),
                                      file.begin() + static_cast<std::ptrdiff_t>(body + length)),
                                {}});
        // Padding to the next 4-byte boundary, which may be missing at the end of the file.
        at = std::min(file.size(), body + length + ((4 - length) & 3));
    }

    for (int i = 0; i < symbolCount; ++i) {
        if (file.size() - at < kSymbolHeaderSize) {
            return fault(file.size(), "the file ends inside the header of symbol " +
                                          std::to_string(i + 1) + " of " +
                                          std::to_string(symbolCount));
        }
        const int type = file[at], index = file[at + 1];
        const std::size_t length = file[at + 2];
        const std::size_t name = at + kSymbolHeaderSize;
        if (file.size() - name < length) {
            return fault(file.size(), "symbol " + std::to_string(i + 1) + " announces " +
                                          std::to_string(length) +
                                          " bytes of name, the file ends after " +
                                          std::to_string(file.size() - name));
        }
        // Names of variables, and names of chunks the file does not hold, are of no use here.
        if (type <= 1) {
            for (ImageChunk& c : image.chunks) {
                if (static_cast<int>(c.kind) == type && c.number == index) {
                    const auto* begin = file.data() + name;
                    const auto* end = std::find(begin, begin + length, std::uint8_t{0});
                    c.name.assign(begin, end);
                }
            }
        }
        at = name + length;
    }
    // Anything after the symbols is padding some writers add.
    return image;
}

std::string describe(const RcxImageError& error) {
    return "byte " + std::to_string(error.offset) + ": " + error.message;
}

}  // namespace towerlink
