// Puts firmware back on a brick: the ROM's download sequence over any transport. Alive check,
// delete firmware, start download (entry and image checksum), the image in numbered blocks,
// unlock, and the versions read back to confirm that the firmware runs.
//
// Blocks shrink on a noisy line and grow back after clean ones. A failure names the step (and
// the block) and why, "the line is too noisy" when blocks keep failing while the brick answers
// pings; the brick is then left in its ROM, and the download can simply be run again.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "Firmware.h"
#include "LinkError.h"
#include "Result.h"
#include "SRecord.h"
#include "Session.h"

namespace towerlink {

struct DownloadFailure {
    Failure failure;         // the link's outcome; its message names the step and the block
    int block = -1;          // the block number being sent, -1 outside the data transfer
    bool untouched = false;  // failed before deleting anything: the old firmware is still there
};

// Receives (bytes of the image sent and acknowledged, image size) after every block, and
// (0, size) before the first.
using DownloadProgress = std::function<void(std::size_t done, std::size_t total)>;

struct DownloadOptions {
    std::size_t blockSize = 200;  // the longest block; blocks shrink after damage and grow back
    int blockAttempts = 3;        // sends of one block answered with a bad block checksum
};

// Returns the firmware version the brick reports once the new firmware runs.
Result<FirmwareVersion, DownloadFailure> downloadFirmware(Session& session,
                                                          const FirmwareImage& image,
                                                          const DownloadProgress& progress = {},
                                                          DownloadOptions options = {});

}  // namespace towerlink
