// Names of the link outcomes.
#include "LinkError.h"

namespace towerlink {

const char* linkErrorName(LinkError error) {
    switch (error) {
        case LinkError::NoTower: return "no tower";
        case LinkError::BadTower: return "bad tower";
        case LinkError::NoBrick: return "no brick";
        case LinkError::NoFirmware: return "no firmware";
        case LinkError::BadCommunication: return "bad communication";
        case LinkError::BadArgument: return "bad argument";
    }
    return "unknown";
}

}  // namespace towerlink
