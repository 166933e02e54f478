// Program files from disk.
#include "ProgramFile.h"

#include "DownloadFile.h"

namespace towerlink {

RcxImage readProgramFile(const std::wstring& path) {
    const auto bytes = readDownloadFile(path, kMaxProgramFileSize, TowerLinkError::BadProgramFile,
                                        L"program file", L"a compiled program (.rcx)");
    auto image = readRcxImage(bytes);
    if (!image) {
        raise(TowerLinkError::BadProgramFile, L"The file " + path +
                                                  L" is not a program the brick can take (" +
                                                  widen(describe(image.error())) + L")");
    }
    return std::move(image.value());
}

}  // namespace towerlink
