// The state of the whole link in one word, as a status display wants it: found by asking the
// brick for a sign of life, its firmware versions and its battery, in that order.
#pragma once

#include <optional>

#include "LinkError.h"
#include "Session.h"

namespace towerlink {

enum class LinkStatus {
    Ready,
    NoTower,
    BadTower,
    NoBrick,
    NoFirmware,
    BadBattery,
    BadCommunication
};

// Below this the RCX's motors and infrared become unreliable; fresh cells read about 9300 mV.
inline constexpr int kLowBatteryMillivolts = 6000;

LinkStatus probeLinkStatus(Session& session);

// The status an exchange's failure shows; none for a request the link refused to send, which
// says nothing about the line.
std::optional<LinkStatus> statusOf(LinkError error);

const char* linkStatusName(LinkStatus status);

}  // namespace towerlink
