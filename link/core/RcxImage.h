// Reads NQC's compiled program images (.rcx files, "RCXI"): a 12-byte header, the chunks
// (subroutines and tasks, each with its bytecode, padded to 4 bytes) and the symbols that name
// them. Every multi-byte field is little-endian. What the RCX cannot take (sound and animation
// chunks, numbers beyond its tasks and subroutines, the same chunk twice) is refused with the
// byte offset where the fault stands.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Packet.h"
#include "Result.h"

namespace towerlink {

enum class ImageChunkKind : std::uint8_t { Task = 0, Subroutine = 1 };

struct ImageChunk {
    ImageChunkKind kind = ImageChunkKind::Task;
    int number = 0;
    Bytes code;
    std::string name;  // from the symbols, empty when the file has none for it
};

struct RcxImage {
    int target = 0;                  // 0 RCX, 3 RCX2, ... as the compiler recorded it
    std::vector<ImageChunk> chunks;  // in file order: NQC writes subroutines first
};

struct RcxImageError {
    std::size_t offset = 0;  // byte offset in the file where the fault stands
    std::string message;
};

inline constexpr std::size_t kMaxProgramFileSize = 64 * 1024;

Result<RcxImage, RcxImageError> readRcxImage(std::span<const std::uint8_t> file);

// "byte 12: chunk of kind 2 (sound): the RCX takes only tasks and subroutines"
std::string describe(const RcxImageError& error);

}  // namespace towerlink
