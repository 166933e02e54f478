// Reads a program file for DownloadProgram: the whole file from its Windows path, read as a
// compiled program image (.rcx). Fails with TowerLink's BadProgramFile error (ComError) naming
// the file and what is wrong with it, before anything goes to the brick.
#pragma once

#include <string>

#include "RcxImage.h"

namespace towerlink {

RcxImage readProgramFile(const std::wstring& path);

}  // namespace towerlink
