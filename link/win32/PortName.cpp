// Port names and the configured port.
#include "PortName.h"

#include <windows.h>

#include <cwctype>

#include "Environment.h"

namespace towerlink {
namespace {

// A port number: up to four digits without a leading zero.
std::optional<int> number(std::wstring_view digits) {
    if (digits.starts_with(L'0')) return std::nullopt;
    const std::optional<long> n = decimalValue(digits, 4);
    if (!n) return std::nullopt;
    return static_cast<int>(*n);
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

std::wstring upperCase(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) out += static_cast<wchar_t>(std::towupper(c));
    return out;
}

std::optional<PortName> parsePortName(std::wstring_view text) {
    std::wstring name = upperCase(text);
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
    std::wstring name = kestrel::environmentValue(L"TOWERLINK_PORT");
    if (name.empty()) name = registryValue();
    if (name.empty()) name = L"USB";
    return name;
}

std::optional<long> decimalValue(std::wstring_view digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    long n = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        n = n * 10 + (c - L'0');
    }
    return n;
}

}  // namespace towerlink
