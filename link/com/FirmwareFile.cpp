// Firmware files from disk.
#include "FirmwareFile.h"

#include "DownloadFile.h"

namespace towerlink {

FirmwareImage readFirmwareFile(const std::wstring& path) {
    const auto bytes =
        readDownloadFile(path, kMaxFirmwareFileBytes, TowerLinkError::BadFirmwareFile,
                         L"firmware file", L"the firmware file (.lgo)");
    auto image = readSRecords(std::string(bytes.begin(), bytes.end()));
    if (!image) {
        raise(TowerLinkError::BadFirmwareFile,
              L"The file " + path + L" is not a firmware image the brick can take (" +
                  widen(describe(image.error())) + L")");
    }
    return std::move(image.value());
}

}  // namespace towerlink
