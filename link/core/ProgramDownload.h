// Puts a compiled program on a brick over any transport, in the order the brick expects: stop
// all tasks, select the program slot when one is asked for, delete the slot's tasks and
// subroutines, then each chunk (subroutines first) as a begin request and numbered blocks, and
// at the end a sound, as the brick's own tools do. Every reply's status is checked.
//
// A failure names the chunk and the block and says whether the slot may now hold part of the
// program.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <variant>

#include "LinkError.h"
#include "RcxImage.h"
#include "Result.h"
#include "Session.h"

namespace towerlink {

struct ProgramDownloadOptions {
    int slot = 0;                // 1 to 5: select that program slot first; 0: the current slot
    bool quiet = false;          // no sound at the end
    std::size_t blockSize = 20;  // bytes of code per Transfer data request
    int blockAttempts = 3;       // sends of one block answered with a bad block checksum
};

struct ProgramDownloadFailure {
    Failure failure;         // the link's outcome; its message names the chunk and the block
    bool untouched = false;  // failed before deleting anything: the slot is as it was
};

// Receives (bytes of code sent and acknowledged, total bytes of code) after every block, and
// (0, total) before the first.
using ProgramProgress = std::function<void(std::size_t done, std::size_t total)>;

Result<std::monostate, ProgramDownloadFailure> downloadProgram(
    Session& session, const RcxImage& image, const ProgramDownloadOptions& options = {},
    const ProgramProgress& progress = {});

}  // namespace towerlink
