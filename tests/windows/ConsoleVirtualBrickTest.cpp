// The console on the real brick link and its virtual brick: the whole road from a button to the
// brick and back into the form's boxes.
#include <gtest/gtest.h>
#include <ole2.h>

#include <memory>

#include "ConsoleWindow.h"
#include "KestrelLibrary.h"
#include "MessageBoxHook.h"
#include "TowerLinkLibrary.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

using RegisterServer = HRESULT(WINAPI*)();

class ConsoleOnTheVirtualBrick : public testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }
    void SetUp() override {
        auto registerServer = reinterpret_cast<RegisterServer>(
            reinterpret_cast<void*>(GetProcAddress(kestrel_.module(), "DllRegisterServer")));
        ASSERT_HRESULT_SUCCEEDED(registerServer());
        form_ = std::make_unique<console::ConsoleWindow>(
            GetModuleHandleW(nullptr), SW_SHOWNORMAL, console::ConsoleWindow::OnClose::KeepRunning);
        ASSERT_TRUE(form_->hasPilot());
    }

    std::wstring text(const wchar_t* name) const {
        wchar_t value[256] = {};
        GetWindowTextW(form_->control(name), value, 256);
        return value;
    }
    void setText(const wchar_t* name, const wchar_t* value) const {
        SetWindowTextW(form_->control(name), value);
    }
    void click(const wchar_t* button) const {
        SendMessageW(form_->control(button), BM_CLICK, 0, 0);
    }

    ScopedEnvironment port_{L"TOWERLINK_PORT", L"VIRTUAL"};
    TowerLinkLibrary towerLink_;
    TowerLinkClassRegistration registration_{towerLink_};
    KestrelLibrary kestrel_;
    MessageBoxHook boxes_;
    std::unique_ptr<console::ConsoleWindow> form_;
};

}  // namespace

TEST_F(ConsoleOnTheVirtualBrick, ShowsTheBricksAnswersInTheBoxes) {
    click(L"CmdRCXAlive");
    EXPECT_EQ(L"True", text(L"TxtResult"));
    click(L"CmdBattery");
    EXPECT_EQ(L"9300", text(L"TxtResult"));

    setText(L"TxtVar", L"3");
    setText(L"TxtVarNumber", L"100");
    click(L"CmdSetVar");
    setText(L"TxtPollSource", L"0");
    setText(L"TxtPNumber", L"3");
    click(L"CmdPoll");
    EXPECT_EQ(L"100", text(L"TxtPoll"));
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(ConsoleOnTheVirtualBrick, UploadsWhatWasLoggedThroughTheButtons) {
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
    click(L"CmdDlgUpload");
    HWND list = form_->control(L"List1");
    std::vector<std::wstring> lines;
    for (LRESULT i = 0; i < SendMessageW(list, LB_GETCOUNT, 0, 0); ++i) {
        wchar_t line[128] = {};
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
        lines.push_back(line);
    }
    EXPECT_EQ(
        (std::vector<std::wstring>{L"Type:  2 LoByt:  1 HiByt:  0", L"Type:  2 LoByt:  8 HiByt:  0",
                                   L"Type:  2 LoByt:  44 HiByt:  1"}),
        lines);
    EXPECT_TRUE(boxes_.boxes().empty());
}
