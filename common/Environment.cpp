// Reading environment variables whole.
#include "Environment.h"

#include <windows.h>

namespace kestrel {

std::wstring environmentValue(const wchar_t* name) {
    std::wstring value(256, L'\0');
    // The variable may change between two calls: ask until the buffer holds it all.
    for (;;) {
        const DWORD length =
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);
    }
}

}  // namespace kestrel
