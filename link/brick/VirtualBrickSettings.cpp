// The virtual brick's settings, read from their text.
#include "VirtualBrickSettings.h"

#include <vector>

namespace towerlink {
namespace {

std::vector<std::string_view> split(std::string_view text) {
    std::vector<std::string_view> items;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        if (!item.empty()) items.push_back(item);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return items;
}

// Up to nine decimal digits, at most `max`.
std::optional<long> number(std::string_view digits, long max) {
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n > max) return std::nullopt;
    return n;
}

}  // namespace

Result<VirtualBrickSettings, std::string> parseVirtualBrickSettings(std::string_view text) {
    VirtualBrickSettings s;
    for (std::string_view item : split(text)) {
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : item.substr(equals + 1);
        const bool hasValue = equals != std::string_view::npos;
        auto bad = [&](const char* need) { return "'" + std::string(item) + "' " + need; };
        if (!hasValue && key == "notower") {
            s.towerPresent = false;
        } else if (!hasValue && key == "badtower") {
            s.otherDevice = true;
        } else if (!hasValue && key == "silent") {
            s.silent = true;
        } else if (!hasValue && key == "nofirmware") {
            s.firmware = false;
        } else if (hasValue && key == "battery") {
            auto mv = number(value, 65535);
            if (!mv) return bad("needs millivolts from 0 to 65535");
            s.batteryMillivolts = static_cast<int>(*mv);
        } else if (hasValue && key == "noise") {
            auto percent = number(value, 100);
            if (!percent) return bad("needs a percentage from 0 to 100");
            s.noisePercent = static_cast<double>(*percent);
        } else if (hasValue && key == "noiseway") {
            if (value != "both" && value != "in" && value != "out") {
                return bad("needs both, in or out");
            }
            s.noiseIn = value != "out";
            s.noiseOut = value != "in";
        } else if (hasValue && key == "sequence") {
            auto n = number(value, 999999999);
            if (!n) return bad("needs a whole number");
            s.faultSequence = static_cast<std::uint32_t>(*n);
        } else if (hasValue && key == "message") {
            auto m = number(value, 255);
            if (!m) return bad("needs a message number from 0 to 255");
            s.message = static_cast<std::uint8_t>(*m);
        } else {
            return "'" + std::string(item) +
                   "' is not a setting of the virtual brick (notower, badtower, silent, "
                   "nofirmware, battery=MV, noise=P, noiseway=W, sequence=N, message=M)";
        }
    }
    return s;
}

}  // namespace towerlink
