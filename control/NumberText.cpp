// Number texts of the face and the command texts.
#include "NumberText.h"

#include <cwchar>

namespace kestrel {

std::wstring numberText(int64_t value) {
    return value < 0 ? decimalText(value) : L" " + decimalText(value);
}

std::wstring decimalText(int64_t value) {
    return std::to_wstring(value);
}

std::wstring errorReport(int32_t number, const std::wstring& description) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%X", static_cast<uint32_t>(number));
    return L"Error " + std::wstring(hex) + L" " + description;
}

}  // namespace kestrel
