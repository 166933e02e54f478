// Port names and the configured port.
#include "PortName.h"

#include <windows.h>

#include <cwctype>

namespace towerlink {
namespace {

std::wstring upper(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) out += static_cast<wchar_t>(std::towupper(c));
    return out;
}

// A decimal number without sign or leading zero; nullopt for anything else.
std::optional<int> number(std::wstring_view digits) {
    if (digits.empty() || digits.size() > 4 || digits[0] == L'0') return std::nullopt;
    int n = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        n = n * 10 + (c - L'0');
    }
    return n;
}

std::wstring environmentValue(const wchar_t* name) {
    std::wstring value(256, L'\0');
    DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length >= value.size()) {
        value.resize(length);
        length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    }
    value.resize(length < value.size() ? length : 0);
    return value;
}

std::wstring registryValue() {
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\TowerLink", L"Port", RRF_RT_REG_SZ, nullptr,
                     value, &size) != ERROR_SUCCESS) {
        return {};
    }
    return value;
}

}  // namespace

std::wstring PortName::text() const {
    switch (kind) {
        case PortKind::Serial: return L"COM" + std::to_wstring(number);
        case PortKind::Usb: return number == 1 ? L"USB" : L"USB" + std::to_wstring(number);
        case PortKind::Virtual: return L"VIRTUAL";
    }
    return {};
}

std::optional<PortName> parsePortName(std::wstring_view text) {
    std::wstring name = upper(text);
    if (!name.empty() && name.back() == L':') name.pop_back();
    const std::wstring_view view(name);
    if (view == L"VIRTUAL") return PortName{PortKind::Virtual, 1};
    if (view == L"USB") return PortName{PortKind::Usb, 1};
    if (view.starts_with(L"USB")) {
        if (auto n = number(view.substr(3))) return PortName{PortKind::Usb, *n};
        return std::nullopt;
    }
    if (view.starts_with(L"COM")) {
        auto n = number(view.substr(3));
        if (n && *n <= kMaxSerialPort) return PortName{PortKind::Serial, *n};
    }
    return std::nullopt;
}

std::wstring configuredPortName() {
    std::wstring name = environmentValue(L"TOWERLINK_PORT");
    if (name.empty()) name = registryValue();
    if (name.empty()) name = L"USB";
    return name;
}

}  // namespace towerlink
