// Files to download, from disk.
#include "DownloadFile.h"

#include <windows.h>

#include "UniqueHandle.h"

namespace towerlink {

std::vector<std::uint8_t> readDownloadFile(const std::wstring& given, std::uint64_t limit,
                                           TowerLinkError error, const std::wstring& kind,
                                           const std::wstring& wanted) {
    // Windows reads a path up to its first NUL, and some script hosts pass one at the end.
    const std::size_t nul = given.find(L'\0');
    const std::wstring path = given.substr(0, nul);
    if (nul != std::wstring::npos && given.find_first_not_of(L'\0', nul) != std::wstring::npos) {
        raise(error, L"The path " + path + L" goes on after a NUL character: pass the path alone");
    }
    if (path.empty()) raise(error, L"No " + kind + L" given: pass the path of " + wanted);
    kestrel::Win32Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD why = GetLastError();
        if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND) {
            raise(error, L"There is no " + kind + L" " + path + L": check the path");
        }
        raise(error, L"Cannot open the " + kind + L" " + path + L" (" +
                         kestrel::systemErrorText(why) + L")");
    }
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size)) {
        raise(error,
              L"The " + kind + L" " + path + L" is not a regular file: pass the path of " + wanted);
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
        raise(error, L"The file " + path + L" holds " + std::to_wstring(size.QuadPart) +
                         L" bytes, more than a " + kind + L" can (" + std::to_wstring(limit) +
                         L"): pass " + wanted);
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        raise(error, L"Cannot read the " + kind + L" " + path);
    }
    return bytes;
}

}  // namespace towerlink
