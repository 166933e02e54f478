// Reads a file the user names, whole, refusing before a byte is read anything that cannot be a
// document: what is not a regular file (a directory, a FIFO that may never end, a device such
// as /dev/zero) and what is larger than the caller's limit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "Result.h"

namespace towerlink {

struct FileProblem {
    std::string message;  // "cannot read PATH: why"
};

Result<std::string, FileProblem> readRegularFile(const std::filesystem::path& path,
                                                 std::uintmax_t limit);

}  // namespace towerlink
