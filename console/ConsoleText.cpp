// Error texts of the console.
#include "ConsoleText.h"

#include <cwchar>

namespace kestrel::console {

std::wstring runTimeErrorText(const ErrorDetails& error) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%08X", static_cast<uint32_t>(error.number));
    return L"Run-time error '" + std::to_wstring(static_cast<int32_t>(error.number)) + L" (" + hex +
           L")':\n\n" + error.description;
}

}  // namespace kestrel::console
