// Link status probe.
#include "LinkStatus.h"

namespace towerlink {
namespace {

LinkStatus fromError(LinkError e) {
    return statusOf(e).value_or(LinkStatus::BadCommunication);
}

}  // namespace

std::optional<LinkStatus> statusOf(LinkError error) {
    switch (error) {
        case LinkError::NoTower: return LinkStatus::NoTower;
        case LinkError::BadTower: return LinkStatus::BadTower;
        case LinkError::NoBrick: return LinkStatus::NoBrick;
        case LinkError::NoFirmware: return LinkStatus::NoFirmware;
        case LinkError::BadCommunication: return LinkStatus::BadCommunication;
        case LinkError::BadArgument: break;
    }
    return std::nullopt;
}

LinkStatus probeLinkStatus(Session& session) {
    ExecuteResult ping = session.execute(Request::alive());
    if (!ping) return fromError(ping.error().error);
    if (ping->value == 0) return LinkStatus::NoBrick;
    ExecuteResult versions = session.execute(Request::getVersions());
    if (!versions) return fromError(versions.error().error);
    if (reportsNoFirmware(versions->data)) return LinkStatus::NoFirmware;
    ExecuteResult battery = session.execute(Request::getBattery());
    if (!battery) return fromError(battery.error().error);
    if (battery->value < kLowBatteryMillivolts) return LinkStatus::BadBattery;
    return LinkStatus::Ready;
}

const char* linkStatusName(LinkStatus status) {
    switch (status) {
        case LinkStatus::Ready: return "ready";
        case LinkStatus::NoTower: return "no tower";
        case LinkStatus::BadTower: return "bad tower";
        case LinkStatus::NoBrick: return "no brick";
        case LinkStatus::NoFirmware: return "no firmware";
        case LinkStatus::BadBattery: return "bad battery";
        case LinkStatus::BadCommunication: return "bad communication";
    }
    return "unknown";
}

}  // namespace towerlink
