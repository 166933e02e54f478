// Reads a firmware file for DownloadFirmware: the whole file from its Windows path, read as
// S-records. Fails with TowerLink's BadFirmwareFile error (ComError) naming the file and, for a
// damaged file, the line.
#pragma once

#include <string>

#include "SRecord.h"

namespace towerlink {

FirmwareImage readFirmwareFile(const std::wstring& path);

}  // namespace towerlink
