// A virtual brick set up as its settings say.
#include "StandingBrick.h"

namespace towerlink {

StandingBrick::StandingBrick(const VirtualBrickSettings& settings)
    : settings_(settings), brick_(clock_, settings.faultSequence) {
    brick_.setFirmware(settings.firmware);
    if (settings.batteryMillivolts) brick_.setBatteryMillivolts(*settings.batteryMillivolts);
}

}  // namespace towerlink
