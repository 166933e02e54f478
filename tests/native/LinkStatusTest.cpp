// The link status probe, from a working brick to each thing that can be wrong.
#include "LinkStatus.h"

#include <gtest/gtest.h>

#include "BrickRig.h"

using namespace towerlink;
using test::BrickRig;

TEST(LinkStatus, NamesWhatIsWrong) {
    BrickRig ready({.echo = true});
    EXPECT_EQ(probeLinkStatus(ready.session), LinkStatus::Ready);

    BrickRig lowBattery;
    lowBattery.brick.setBatteryMillivolts(kLowBatteryMillivolts - 1);
    EXPECT_EQ(probeLinkStatus(lowBattery.session), LinkStatus::BadBattery);

    BrickRig noFirmware;
    noFirmware.brick.setFirmware(false);
    EXPECT_EQ(probeLinkStatus(noFirmware.session), LinkStatus::NoFirmware);

    BrickRig noBrick;
    noBrick.brick.setFaults({.silent = true});
    EXPECT_EQ(probeLinkStatus(noBrick.session), LinkStatus::NoBrick);

    BrickRig noTower({.echo = true});
    noTower.tower.setTowerPresent(false);
    EXPECT_EQ(probeLinkStatus(noTower.session), LinkStatus::NoTower);
}
