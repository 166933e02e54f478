// TowerLink.dll as a server: its one class, the brick link.
#include <IBrickLink.h>
#include <towerlink_tlb.h>

#include "Server.h"
#include "TowerLinkObject.h"

namespace kestrel::server {

namespace {

const ClassRecord& towerLinkRecord() {
    static const ClassRecord record{
        CLSID_TowerLink,
        L"TowerLink brick link",
        L"TowerLink.BrickLink",
        L"Apartment",
        false,
        std::nullopt,
        std::nullopt,
        LIBID_TowerLink,
        L"1.0",
    };
    return record;
}

constexpr ServedClass kClasses[] = {{&towerLinkRecord, &towerlink::TowerLinkObject::create}};

}  // namespace

const Description& description() {
    static constexpr Description server{L"TowerLink", kClasses};
    return server;
}

}  // namespace kestrel::server
