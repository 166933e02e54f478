// The error report of the face.
#include "ErrorReport.h"

#include <cwchar>

namespace kestrel {

std::wstring errorReport(int32_t number, const std::wstring& description) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%X", static_cast<uint32_t>(number));
    return L"Error " + std::wstring(hex) + L" " + description;
}

}  // namespace kestrel
