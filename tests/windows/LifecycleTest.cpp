// Start-up, status display, Reconnect, the alive checks and termination, against the scripted
// fake link, with message boxes caught.
#include "Bstr.h"
#include "ControlFixture.h"
#include "Variant.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

constexpr HRESULT kLinkError = towerLinkError(TOWERLINK_E_NOT_OPENED);

class StartUp : public ControlTest {
protected:
    void SetUp() override { resetFakeLink(); }
    void start() { pilot_ = library_.create(); }
};

}  // namespace

// Each entry of the texts shown is the face as the next call arrived.
TEST_F(StartUp, ACleanStartShowsThePortTheOpenAndTheStatusThenReadsOk) {
    std::vector<std::wstring> shown;
    fakeLink().onCall = [&](const std::wstring&) { shown.push_back(threadFaceCaption()); };
    start();
    EXPECT_EQ(L"Ok", caption());
    EXPECT_EQ(
        (std::vector<std::wstring>{L"Advise", L"GetPortName", L"OpenPort COM1", L"GetInfo 3",
                                   L"GetInfo 6", L"GetInfo 3", L"ExecuteCommand sound 3|0|0"}),
        calls());
    EXPECT_EQ((std::vector<std::wstring>{L"LEGO", L"LEGO", L"Port: COM1", L"Opened COM1", L"Ready",
                                         L"Ready", L"Ready"}),
              shown);
}

TEST_F(StartUp, GoesOnAfterAPortNameThatCannotBeRead) {
    fakeLink().failures[L"GetPortName"] = {kLinkError, L"No port configured", L""};
    fakeLink().info[3] = 3;
    start();
    EXPECT_EQ((std::vector<std::wstring>{L"Advise", L"GetPortName", L"OpenPort ", L"GetInfo 3",
                                         L"GetInfo 6", L"GetInfo 3"}),
              calls());
    EXPECT_EQ(L"Not ready", caption());
    EXPECT_EQ(1u, boxes_.boxes().size()) << "the port's report names no help file";
    Bstr port;
    ASSERT_HRESULT_SUCCEEDED(pilot_->get_Port(port.put()));
    EXPECT_EQ(L"", port.str());
}

TEST_F(StartUp, ShowsEachStepsFailureAndItsHelpCheck) {
    // A port that cannot be opened: the report stands until the next step writes the label.
    fakeLink().failures[L"OpenPort"] = {kLinkError, L"No tower answers on COM1", L"tl.html"};
    fakeLink().failures[L"GetInfo 3"] = {kLinkError, L"Status unknown", L""};
    start();
    // The status step fails silently, and Reconnect's failure replaces the open report.
    EXPECT_EQ(L"Error 80040201 Status unknown", caption());
    EXPECT_EQ((std::vector<std::wstring>{L"Advise", L"GetPortName", L"OpenPort COM1", L"GetInfo 3",
                                         L"GetInfo 6", L"GetInfo 3"}),
              calls());
    EXPECT_EQ(1u, boxes_.boxes().size()) << "the open report names a help file: no box";
}

TEST_F(StartUp, ReportsAFailedOpenWhenTheRestSucceedsSilently) {
    fakeLink().failures[L"OpenPort"] = {kLinkError, L"No tower answers on COM1", L"tl.html"};
    fakeLink().failures[L"GetInfo 6"] = {kLinkError, L"Setting unknown", L"tl.html"};
    start();
    EXPECT_EQ(L"Error 80040201 Setting unknown", caption());
}

using Status = StartUp;

TEST_F(Status, ShowsTheTextOfEveryCode) {
    // Every named code, and two of the others: the named entries pin each text to its code.
    const std::vector<std::pair<long, std::wstring>> table = {
        {0, L"Downloading"}, {1, L"Ready"},    {3, L"Not opened"},  {4, L"No tower"},
        {5, L"Bad tower"},   {6, L"No brick"}, {7, L"No firmware"}, {8, L" bad battery"},
        {11, L"Bad comms"},  {12, L"Busy"},    {2, L"Status:  2"},  {-1, L"Status: -1"},
    };
    for (const auto& [code, text] : table) {
        SCOPED_TRACE(code);
        resetFakeLink();
        fakeLink().info[3] = code;
        // What the status step left on the face, just before Reconnect begins.
        std::wstring shown;
        fakeLink().onCall = [&](const std::wstring& call) {
            if (call == L"GetInfo 6") shown = threadFaceCaption();
        };
        start();
        // Which codes get the ready signal is Reconnect's test.
        EXPECT_EQ(text, shown);
        pilot_.reset();
    }
}

using Reconnect = ControlTest;

// With the port changed first, which Reconnect never reopens.
TEST_F(Reconnect, HandsBackTheSettingAndSignalsReadiness) {
    // The setting and status the link gives, whether the setting is handed back, and the ready
    // signal sent, if any.
    const struct {
        long setting, status;
        bool handedBack;
        const wchar_t* signal;
    } cases[] = {{4, 1, false, L"sound 3"}, {5, 1, true, L"sound 25"}, {6, 1, true, L"sound 3"},
                 {7, 2, true, nullptr},     {8, 2, false, nullptr},    {5, 2, true, nullptr}};
    Bstr port(L"COM9");
    ASSERT_HRESULT_SUCCEEDED(pilot_->put_Port(port.get()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        fakeLink().info[6] = c.setting;
        fakeLink().info[3] = c.status;
        calls().clear();
        EXPECT_HRESULT_SUCCEEDED(invoke(pilot_.get(), DISPID_RCX_RECONNECT, {}));
        std::vector<std::wstring> expected{L"GetInfo 6"};
        if (c.handedBack) expected.push_back(L"SetLinkMode " + std::to_wstring(c.setting));
        expected.push_back(L"GetInfo 3");
        if (c.signal) expected.push_back(L"ExecuteCommand " + std::wstring(c.signal) + L"|0|0");
        EXPECT_EQ(expected, calls());
        EXPECT_EQ(c.signal ? L"Ok" : L"Not ready", caption());
    }
    EXPECT_EQ(0, fakeLink().dirtyInputs);
}

TEST_F(Reconnect, ReportsAFailureAndStillSucceeds) {
    fakeLink().failures[L"SetLinkMode"] = {kLinkError, L"Range not supported", L""};
    fakeLink().info[6] = 6;
    EXPECT_EQ(S_OK, pilot_->Reconnect());
    EXPECT_EQ(L"Error 80040201 Range not supported", caption());
    EXPECT_EQ((std::vector<std::wstring>{L"GetInfo 6", L"SetLinkMode 6"}), calls());
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ(L"No Err.HelpFile", boxes_.boxes()[0].text);
    EXPECT_FALSE(boxes_.boxes()[0].hasIcon);
    EXPECT_EQ(1, boxes_.boxes()[0].buttons) << "OK only";
    EXPECT_EQ(L"Error", boxes_.boxes()[0].title) << "the system's default title";
}

using Alive = ControlTest;

// A link failure passes on as the typed commands' do (BrickCommands in ControlCoreTest).
TEST_F(Alive, PBAliveOrNotAsksThePingsCodeAndLeavesTheFaceAlone) {
    fakeLink().replies = {code(1), code(-1), code(0)};
    for (VARIANT_BOOL expected : {VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE}) {
        Variant result;
        ASSERT_HRESULT_SUCCEEDED(invoke(pilot_.get(), DISPID_RCX_PBALIVEORNOT, {}, result.put()));
        EXPECT_EQ(VT_BOOL, result.type());
        EXPECT_EQ(expected, V_BOOL(result.get()));
    }
    EXPECT_EQ(std::vector<std::wstring>(3, L"ExecuteCommand ping|2|0"), calls());
    EXPECT_EQ(L"Ok", caption());
}

TEST_F(Alive, TowerAliveAsksTheLinkAndNeverFails) {
    // The link's answer, then a failure to answer.
    const std::pair<long, VARIANT_BOOL> answers[] = {
        {1, VARIANT_TRUE}, {0, VARIANT_FALSE}, {-1, VARIANT_FALSE}};
    for (const auto& [answer, expected] : answers) {
        SCOPED_TRACE(answer);
        if (answer < 0) fakeLink().failures[L"GetInfo 4"] = {kLinkError, L"Not opened", L""};
        fakeLink().info[4] = answer;
        VARIANT_BOOL alive = !expected;
        ASSERT_EQ(S_OK, pilot_->TowerAlive(&alive));
        EXPECT_EQ(expected, alive);
    }
    EXPECT_EQ(L"Ok", caption());
}

TEST_F(StartUp, TerminationClosesTheLinkOnceEvenWhenClosingFails) {
    start();
    fakeLink().failures[L"ClosePort"] = {kLinkError, L"Port gone", L""};
    calls().clear();
    pilot_.reset();
    EXPECT_EQ((std::vector<std::wstring>{L"ClosePort", L"Unadvise"}), calls());
}
