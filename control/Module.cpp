// Kestrel.ocx as a server: its one class, RcxPilot.
#include <olectl.h>

#include "Automation.h"
#include "RcxPilot.h"
#include "Server.h"

namespace kestrel::server {

namespace {

const ClassRecord& rcxPilotRecord() {
    static const ClassRecord record{
        CLSID_RcxPilot,
        L"kestrel.RcxPilot",
        L"kestrel.RcxPilot",
        L"Apartment",
        true,
        kRcxPilotMiscStatus,
        30000,
        LIBID_kestrel,
        L"15.0",
    };
    return record;
}

constexpr ServedClass kClasses[] = {{&rcxPilotRecord, &RcxPilot::create}};

}  // namespace

// The type information goes with the last object: releasing it in DllMain is not allowed.
const Description& description() {
    static constexpr Description server{L"kestrel", kClasses, &automation::releaseTypeInfo,
                                        &Face::unregisterClass};
    return server;
}

}  // namespace kestrel::server
