// Writing the trace of COM calls.
#include "Trace.h"

#include <cstdio>
#include <cwctype>
#include <string>
#include <string_view>

namespace kestrel::trace {

namespace {

bool readSwitch() {
    wchar_t value[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"KESTREL_TRACE", value, 8);
    return length > 0 && length < 8 && std::wstring_view(value) != L"0";
}

// "virtual long int kestrel::RcxPilot::Onn(short int*)" becomes "RcxPilot::Onn".
std::string_view shortName(std::string_view function) {
    function = function.substr(0, function.find('('));
    const size_t space = function.rfind(' ');
    if (space != std::string_view::npos) function.remove_prefix(space + 1);
    const size_t method = function.rfind("::");
    if (method != std::string_view::npos && method > 0) {
        const size_t owner = function.rfind("::", method - 1);
        if (owner != std::string_view::npos) function.remove_prefix(owner + 2);
    }
    return function;
}

}  // namespace

bool enabled() noexcept {
    static const bool on = readSwitch();
    return on;
}

void write(const wchar_t* channel, const char* function, HRESULT failed) noexcept {
    try {
        std::string line(8 + 8 + 1, '\0');
        line.resize(std::snprintf(line.data(), line.size(), "%04lx:trace:",
                                  static_cast<unsigned long>(GetCurrentThreadId())));
        for (const wchar_t* c = channel; *c; ++c)
            line += static_cast<char>(std::towlower(static_cast<wint_t>(*c)));
        line += ':';
        line += shortName(function);
        if (FAILED(failed)) {
            char number[16];
            std::snprintf(number, sizeof number, " -> %08lx", static_cast<unsigned long>(failed));
            line += number;
        }
        line += '\n';
        OutputDebugStringA(line.c_str());
        std::fputs(line.c_str(), stderr);
    } catch (...) {
        // A trace line that cannot be written is left out.
    }
}

}  // namespace kestrel::trace
