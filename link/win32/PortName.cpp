// Port names and the configured port.
#include "PortName.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <vector>

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

// The value Port as the name of the port to open. A text counts whole, however long; a value of
// another type names no port, so it comes back as a text that no port name matches (its number,
// or its bytes in hexadecimal), and opening refuses it by that name as it refuses "COM1 ", rather
// than TowerLink taking USB as if the value were not there.
std::wstring registryValue() {
    std::vector<BYTE> data(256 * sizeof(wchar_t));
    DWORD type = REG_NONE;
    DWORD size = 0;
    for (int tries = 0;; ++tries) {
        size = static_cast<DWORD>(data.size());
        const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, L"Software\\TowerLink", L"Port",
                                            RRF_RT_ANY, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) break;
        if (status != ERROR_MORE_DATA || tries == 3) return {};
        data.resize(size + sizeof(wchar_t));
    }
    data.resize(size);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    if ((type == REG_DWORD && size == sizeof(DWORD)) || (type == REG_QWORD && size == 8)) {
        std::uint64_t value = 0;
        std::memcpy(&value, data.data(), size);
        return std::to_wstring(value);
    }
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring hex;
    for (BYTE b : data) hex += {kDigits[b >> 4], kDigits[b & 0xF]};
    return hex;
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
