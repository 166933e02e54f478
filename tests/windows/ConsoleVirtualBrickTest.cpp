// The console on the real brick link and its virtual brick: the whole road from a button to the
// brick and back into the form's boxes.
#include "ConsoleFixture.h"
#include "TowerLinkLibrary.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

class ConsoleOnTheVirtualBrick : public ConsoleWindowTest {
protected:
    void SetUp() override { openForm(); }
    void TearDown() override { form_.reset(); }

    ScopedEnvironment port_{L"TOWERLINK_PORT", L"VIRTUAL"};
    TowerLinkLibrary towerLink_;
    TowerLinkClassRegistration registration_{towerLink_};
};

}  // namespace

// What the buttons set and logged on the brick comes back into the boxes and the list.
TEST_F(ConsoleOnTheVirtualBrick, ShowsWhatTheButtonsSetAndLogged) {
    setText(L"TxtDlgSize", L"3");
    click(L"CmdSetDlg");
    setText(L"TxtVar", L"2");
    setText(L"TxtDlgNS", L"0");
    setText(L"TxtDlgNN", L"2");
    for (const wchar_t* value : {L"1", L"8", L"300"}) {
        setText(L"TxtVarNumber", value);
        click(L"CmdSetVar");
        click(L"CmdDlgNext");
    }
    setText(L"TxtPollSource", L"0");
    setText(L"TxtPNumber", L"2");
    click(L"CmdPoll");
    EXPECT_EQ(L"300", text(L"TxtPoll"));
    click(L"CmdDlgUpload");
    EXPECT_EQ(
        (std::vector<std::wstring>{L"Type:  2 LoByt:  1 HiByt:  0", L"Type:  2 LoByt:  8 HiByt:  0",
                                   L"Type:  2 LoByt:  44 HiByt:  1"}),
        listLines());
}
