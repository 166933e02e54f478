// Program files from disk.
#include "ProgramFile.h"

#include <windows.h>

#include <vector>

#include "TowerLinkError.h"
#include "UniqueHandle.h"

namespace towerlink {

RcxImage readProgramFile(const std::wstring& given) {
    // Windows reads a path up to its first NUL, and some script hosts pass one at the end; text
    // after it would make the file opened another than the one named, so that is refused.
    const std::size_t nul = given.find(L'\0');
    const std::wstring path = given.substr(0, nul);
    if (nul != std::wstring::npos && given.find_first_not_of(L'\0', nul) != std::wstring::npos) {
        raise(TowerLinkError::BadProgramFile,
              L"The path " + path + L" goes on after a NUL character: pass the path alone");
    }
    if (path.empty()) {
        raise(TowerLinkError::BadProgramFile,
              L"No program file given: pass the path of a compiled program (.rcx)");
    }
    kestrel::Win32Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            raise(TowerLinkError::BadProgramFile,
                  L"There is no program file " + path + L": check the path");
        }
        raise(TowerLinkError::BadProgramFile, L"Cannot open the program file " + path + L" (" +
                                                  kestrel::systemErrorText(error) + L")");
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        raise(TowerLinkError::BadProgramFile, L"Cannot read the program file " + path);
    }
    if (size.QuadPart > static_cast<LONGLONG>(kMaxProgramFileSize)) {
        raise(TowerLinkError::BadProgramFile,
              L"The file " + path + L" holds " + std::to_wstring(size.QuadPart) +
                  L" bytes, more than a program file can (" + std::to_wstring(kMaxProgramFileSize) +
                  L"): pass a compiled program (.rcx)");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        raise(TowerLinkError::BadProgramFile, L"Cannot read the program file " + path);
    }
    auto image = readRcxImage(bytes);
    if (!image) {
        raise(TowerLinkError::BadProgramFile, L"The file " + path +
                                                  L" is not a program the brick can take (" +
                                                  widen(describe(image.error())) + L")");
    }
    return std::move(image.value());
}

}  // namespace towerlink
