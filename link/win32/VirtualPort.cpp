// The virtual brick's port and its settings.
#include "VirtualPort.h"

#include <vector>

#include "Environment.h"
#include "PortName.h"

namespace towerlink {
namespace {

std::vector<std::wstring_view> split(std::wstring_view text) {
    std::vector<std::wstring_view> items;
    while (!text.empty()) {
        const std::size_t comma = text.find(L',');
        std::wstring_view item = text.substr(0, comma);
        while (!item.empty() && item.front() == L' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == L' ') item.remove_suffix(1);
        if (!item.empty()) items.push_back(item);
        if (comma == std::wstring_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return items;
}

std::optional<long> number(std::wstring_view digits, long max) {
    const std::optional<long> n = decimalValue(digits, 9);
    if (!n || *n > max) return std::nullopt;
    return n;
}

}  // namespace

Result<VirtualPortSettings, std::wstring> parseVirtualPortSettings(std::wstring_view text) {
    VirtualPortSettings s;
    for (std::wstring_view item : split(text)) {
        const std::size_t equals = item.find(L'=');
        const std::wstring_view key = item.substr(0, equals);
        const std::wstring_view value =
            equals == std::wstring_view::npos ? std::wstring_view{} : item.substr(equals + 1);
        const bool hasValue = equals != std::wstring_view::npos;
        auto bad = [&](const wchar_t* need) {
            return std::wstring(L"'") + std::wstring(item) + L"' " + need;
        };
        if (!hasValue && key == L"notower") {
            s.towerPresent = false;
        } else if (!hasValue && key == L"badtower") {
            s.otherDevice = true;
        } else if (!hasValue && key == L"silent") {
            s.silent = true;
        } else if (!hasValue && key == L"nofirmware") {
            s.firmware = false;
        } else if (hasValue && key == L"battery") {
            auto mv = number(value, 65535);
            if (!mv) return bad(L"needs millivolts from 0 to 65535");
            s.batteryMillivolts = static_cast<int>(*mv);
        } else if (hasValue && key == L"noise") {
            auto percent = number(value, 100);
            if (!percent) return bad(L"needs a percentage from 0 to 100");
            s.noisePercent = static_cast<double>(*percent);
        } else if (hasValue && key == L"noiseway") {
            if (value != L"both" && value != L"in" && value != L"out") {
                return bad(L"needs both, in or out");
            }
            s.noiseIn = value != L"out";
            s.noiseOut = value != L"in";
        } else if (hasValue && key == L"sequence") {
            auto n = number(value, 999999999);
            if (!n) return bad(L"needs a whole number");
            s.faultSequence = static_cast<std::uint32_t>(*n);
        } else if (hasValue && key == L"message") {
            auto m = number(value, 255);
            if (!m) return bad(L"needs a message number from 0 to 255");
            s.message = static_cast<std::uint8_t>(*m);
        } else {
            return std::wstring(L"'") + std::wstring(item) +
                   L"' is not a setting of the virtual brick (notower, badtower, silent, "
                   L"nofirmware, battery=MV, noise=P, noiseway=W, sequence=N, message=M)";
        }
    }
    return s;
}

Result<VirtualPortSettings, std::wstring> virtualPortSettingsFromEnvironment() {
    return parseVirtualPortSettings(kestrel::environmentValue(L"TOWERLINK_VIRTUAL_FAULTS"));
}

VirtualPort::VirtualPort(const VirtualPortSettings& settings)
    : brick_(clock_, settings.faultSequence),
      tower_(brick_, clock_, {.echo = true, .paced = false}),
      otherDevice_(settings.otherDevice),
      message_(settings.message) {
    tower_.setTowerPresent(settings.towerPresent);
    brick_.setFirmware(settings.firmware);
    if (settings.batteryMillivolts) brick_.setBatteryMillivolts(*settings.batteryMillivolts);
    BrickFaults faults;
    faults.silent = settings.silent;
    faults.corruptRate = settings.noisePercent / 100.0;
    faults.inbound = settings.noiseIn;
    faults.outbound = settings.noiseOut;
    brick_.setFaults(faults);
}

IoResult VirtualPort::write(std::span<const std::uint8_t> bytes) {
    if (otherDevice_) {
        static constexpr std::uint8_t kModemAnswer[] = {'O', 'K', '\r', '\n'};
        tower_.inject(kModemAnswer);
        return IoResult::done(bytes.size());
    }
    if (!message_) return tower_.write(bytes);
    // The other brick's message lands between the echo and the brick's reply, where the link
    // looks for it.
    tower_.inject(bytes);
    const Bytes broadcast = VirtualBrick::messagePacket(*message_);
    tower_.inject(broadcast);
    message_.reset();
    const Bytes reply = brick_.receive(bytes);
    tower_.inject(reply);
    return IoResult::done(bytes.size());
}

IoResult VirtualPort::read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) {
    return tower_.read(buffer, firstByte, interByte);
}

}  // namespace towerlink
