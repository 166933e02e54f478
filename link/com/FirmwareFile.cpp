// Firmware files from disk.
#include "FirmwareFile.h"

#include <windows.h>

#include "TowerLinkError.h"
#include "UniqueHandle.h"

namespace towerlink {

FirmwareImage readFirmwareFile(const std::wstring& path) {
    if (path.empty()) {
        raise(TowerLinkError::BadFirmwareFile,
              L"No firmware file given: pass the path of the firmware file (.lgo)");
    }
    kestrel::Win32Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        raise(TowerLinkError::BadFirmwareFile,
              L"Cannot open the firmware file " + path + L": check the path");
    }
    // A device or a pipe (NUL, COM1, \\.\pipe\...) may never end: only files on disk are read.
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size)) {
        raise(
            TowerLinkError::BadFirmwareFile,
            L"The firmware file " + path + L" is not a regular file: give the path of a .lgo file");
    }
    if (size.QuadPart > kMaxFirmwareFileBytes) {
        raise(TowerLinkError::BadFirmwareFile,
              L"The file " + path + L" is far too large to be firmware for the brick");
    }
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() &&
        (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) ||
         read != text.size())) {
        raise(TowerLinkError::BadFirmwareFile, L"Cannot read the firmware file " + path);
    }
    auto image = readSRecords(text);
    if (!image) {
        const std::string why = describe(image.error());
        raise(TowerLinkError::BadFirmwareFile,
              L"The file " + path + L" is not a firmware image the brick can take (" +
                  std::wstring(why.begin(), why.end()) + L")");
    }
    return std::move(image.value());
}

}  // namespace towerlink
