// The names of the ports TowerLink opens, and where the configured one comes from.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace towerlink {

enum class PortKind { Serial, Usb, Virtual };

struct PortName {
    PortKind kind = PortKind::Usb;
    int number = 1;  // n of COMn, or of the n-th USB tower
    // The canonical spelling: "COM5", "USB", "USB2", "VIRTUAL".
    std::wstring text() const;
};

inline constexpr int kMaxSerialPort = 256;

// The value of a run of 1 to `maxDigits` decimal digits (at most 9); nullopt for anything else,
// signs and blanks included.
std::optional<long> decimalValue(std::wstring_view digits, std::size_t maxDigits);

// The text in capitals, as Windows compares port names and device instance ids.
std::wstring upperCase(std::wstring_view text);

// "COM1".."COM256", "USB", "USB1", "USB2".., "VIRTUAL", in any case, with an optional
// trailing ':'. Nothing else.
std::optional<PortName> parsePortName(std::wstring_view text);

// The port to use unless told otherwise: TOWERLINK_PORT from the environment, else the value
// Port under HKEY_CURRENT_USER\Software\TowerLink, else "USB".
std::wstring configuredPortName();

}  // namespace towerlink
