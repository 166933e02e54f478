// Kestrel's RcxPilot on TowerLink's VIRTUAL port: the whole road from the control's methods
// through the brick link to the virtual brick, as a container would drive it.
#include <gtest/gtest.h>

#include <vector>

#include "ComError.h"
#include "ControlFixture.h"
#include "TowerLinkLibrary.h"
#include "Variant.h"

namespace kestrel::test {
namespace {

class TowerLinkUnderKestrel : public testing::Test {
protected:
    ScopedEnvironment port_{L"TOWERLINK_PORT", L"VIRTUAL"};
    TowerLinkLibrary towerLink_;
    TowerLinkClassRegistration registration_{towerLink_};
    KestrelLibrary kestrel_;
    MessageBoxHook boxes_;
};

// What the control then drives on the brick, from the ping on, the scripts on the virtual brick
// check call by call.
TEST_F(TowerLinkUnderKestrel, StartsUpOkAndLetsTheLibrariesGo) {
    ComPtr<_RcxPilot> pilot = kestrel_.create();
    EXPECT_EQ(L"Ok", threadFaceCaption());
    pilot.reset();
    EXPECT_EQ(S_OK, kestrel_.canUnloadNow());
}

TEST_F(TowerLinkUnderKestrel, StartsUpNotReadyWithTheBrickOff) {
    ScopedEnvironment faults(L"TOWERLINK_VIRTUAL_FAULTS", L"silent");
    ComPtr<_RcxPilot> pilot = kestrel_.create();
    EXPECT_EQ(L"Not ready", threadFaceCaption());
    VARIANT_BOOL alive = VARIANT_TRUE;
    EXPECT_EQ(S_OK, pilot->PBAliveOrNot(&alive));
    EXPECT_EQ(VARIANT_FALSE, alive);
    short motors = 1;
    EXPECT_EQ(towerLinkError(TOWERLINK_E_NO_BRICK), pilot->Onn(&motors));
    const ErrorDetails error = takeErrorInfo(E_FAIL);
    EXPECT_EQ(
        L"The brick does not answer: check that it is on and within reach of the tower. "
        L"The brick may have carried out the command: only its reply was lost",
        error.description);
    EXPECT_NE(std::wstring::npos, error.helpFile.find(L"TowerLink-errors.html"));
    // Every error names its help file: no box.
}

// A log long enough for the link to read it in chunks, raising its progress events to the
// control meanwhile, comes back whole. Positions and sizes are the link's and the control's own
// tests' business.
TEST_F(TowerLinkUnderKestrel, UploadDatalogReadsWhatWasLogged) {
    ComPtr<_RcxPilot> pilot = kestrel_.create();
    short entries = 100;
    ASSERT_EQ(S_OK, pilot->SetDatalog(&entries));
    for (short i = 0; i < entries; ++i) {
        short var = 2, source = 2, value = static_cast<short>(7 * i + 1), loggedSource = 0;
        ASSERT_EQ(S_OK, pilot->SetVar(&var, &source, &value));
        ASSERT_EQ(S_OK, pilot->DatalogNext(&loggedSource, &var));
    }
    short from = 0, count = 0;
    Variant table;
    ASSERT_EQ(S_OK, pilot->UploadDatalog(&from, &count, table.get()));
    EXPECT_EQ(entries, count) << "the worked-out count";
    const auto rows = datalogEntries(table.get());
    ASSERT_EQ(entries + 2u, rows.size());
    EXPECT_EQ((std::vector<int>{-1, -1, -1}), rows[0]) << "entry 0 stays empty";
    for (int i = 0; i < entries; ++i)
        EXPECT_EQ((std::vector<int>{2, (7 * i + 1) & 0xFF, (7 * i + 1) >> 8}), rows[i + 1]) << i;
}

}  // namespace
}  // namespace kestrel::test
