// The bytes of a file a download is given by its Windows path, read whole before anything goes
// to the brick. Refused with `error` (ComError) and a sentence naming the file as `kind`
// ("program file"), and saying what to pass instead (`wanted`): no path; a path that goes on
// after a NUL (the file opened would be another than the one named); a file that is missing or
// cannot be opened; anything but a file on disk (a device or a pipe may never end); a file
// larger than `limit`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TowerLinkError.h"

namespace towerlink {

std::vector<std::uint8_t> readDownloadFile(const std::wstring& path, std::uint64_t limit,
                                           TowerLinkError error, const std::wstring& kind,
                                           const std::wstring& wanted);

}  // namespace towerlink
