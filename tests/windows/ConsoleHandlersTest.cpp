// The console's buttons against RcxPilot1 on the fake link: what reaches the link, what the
// boxes show afterwards, and failed calls that leave the program running.
#include "ConsoleFixture.h"

using namespace kestrel;
using namespace kestrel::test;

using ConsoleHandlers = ConsoleTest;

// First the buttons without boxes and the clock, then every argument's place in its command, with a
// distinct value in each box; the Lasm box, checked at first, and the command text change between.
TEST_F(ConsoleHandlers, SendTheirCommandsReadingTheBoxesAfreshOnEveryClick) {
    // Each click sends exactly its one command: text|mode|position as the link receives it.
    auto expectCommands = [&](const std::vector<std::pair<const wchar_t*, std::wstring>>& cases) {
        for (const auto& [button, command] : cases) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(button)));
            fakeLink().calls.clear();
            click(button);
            EXPECT_EQ(std::vector<std::wstring>{command}, commands());
        }
    };
    expectCommands({
        {L"CmdSend", L"|2|0"},
        {L"CmdReconnect", L"sound 3|0|0"},
        {L"CmdRCXAlive", L"ping|2|0"},
        {L"CmdBattery", L"pollb|2|0"},
    });
    auto watchCommand = [](const SYSTEMTIME& time) {
        return L"setw " + std::to_wstring(time.wHour) + L"," + std::to_wstring(time.wMinute) +
               L"|2|0";
    };
    SYSTEMTIME before, after;
    fakeLink().calls.clear();
    GetLocalTime(&before);
    click(L"CmdSetWatch");
    GetLocalTime(&after);
    ASSERT_EQ(1u, commands().size());
    EXPECT_TRUE(commands()[0] == watchCommand(before) || commands()[0] == watchCommand(after))
        << testing::PrintToString(commands()[0]);

    const std::vector<std::pair<const wchar_t*, const wchar_t*>> edits = {
        {L"TxtCommand", L"ping"},  {L"TxtMotor", L"5"},       {L"TxtPower", L"7"},
        {L"TxtSystemSound", L"6"}, {L"TxtFrequency", L"440"}, {L"TxtDuration", L"50"},
        {L"TxtInput", L"2"},       {L"TxtType", L"3"},        {L"TxtInpMod", L"4"},
        {L"TxtSlope", L"31"},      {L"TxtPrgm", L"4"},        {L"TxtPollSource", L"14"},
        {L"TxtPNumber", L"0"},     {L"TxtViewSource", L"9"},  {L"TxtViewNumber", L"2"},
        {L"TxtVar", L"3"},         {L"TxtVarSource", L"9"},   {L"TxtVarNumber", L"-7"},
        {L"TxtDlgSize", L"20"},    {L"TxtDlgNS", L"14"},      {L"TxtDlgNN", L"2"}};
    for (const auto& [box, value] : edits) setText(box, value);
    SendMessageW(control(L"ChkLasm"), BM_SETCHECK, BST_UNCHECKED, 0);

    expectCommands({
        {L"CmdSend", L"ping|0|0"},
        {L"CmdView", L"disp 0,9,2|2|0"},
        {L"CmdSystSound", L"Sound 6|0|0"},
        {L"CmdPlayTone", L"playt 440,50|2|0"},
        {L"CmdOn", L"out 2,5|2|0"},
        {L"CmdOff", L"out 1,5|2|0"},
        {L"CmdFloat", L"out 0,5|2|0"},
        {L"CmdSetFwd", L"dir 0,5|2|0"},
        {L"CmdSetRwd", L"dir 2,5|2|0"},
        {L"CmdAlterDir", L"dir 1,5|2|0"},
        {L"CmdSetPower", L"pwr 5,2,7|2|0"},
        {L"CmdSetSensType", L"sent 2,3|2|0"},
        {L"CmdSetSensMode", L"senm 2,4,31|2|0"},
        {L"CmdSelectPrgm", L"prgm 4|2|0"},
        {L"CmdPoll", L"poll 14,0|2|0"},
        {L"CmdSetVar", L"setv 3,9,-7|2|0"},
        {L"CmdSetDlg", L"logz 20|2|0"},
        {L"CmdDlgNext", L"log 14,2|2|0"},
    });
}

TEST_F(ConsoleHandlers, WriteTheResultsAsTheirTextsWithTheBlankOnlyForSend) {
    setText(L"TxtCommand", L"ping");
    fakeLink().replies = {code(0), code(-1), code(1), code(0), code(-5), code(1234)};
    const struct {
        const wchar_t* button;
        const wchar_t* box;
        const wchar_t* shown;
    } clicks[] = {{L"CmdSend", L"TxtResult", L" 0"},       {L"CmdSend", L"TxtResult", L"-1"},
                  {L"CmdRCXAlive", L"TxtResult", L"True"}, {L"CmdRCXAlive", L"TxtResult", L"False"},
                  {L"CmdBattery", L"TxtResult", L"-5"},    {L"CmdPoll", L"TxtPoll", L"1234"}};
    for (const auto& c : clicks) {
        click(c.button);
        EXPECT_EQ(c.shown, text(c.box)) << testing::PrintToString(std::wstring(c.button));
    }
    EXPECT_EQ(L"-5", text(L"TxtResult")) << "Poll writes only its own box";
}

TEST_F(ConsoleHandlers, ShowTheWaitCursorAndTakeNoOtherClickWhileTheCallRuns) {
    HCURSOR during = nullptr;
    HCURSOR afterMouseMove = nullptr;
    FakeReply reply;
    reply.fill = [&](VARIANT*) {
        during = GetCursor();
        // What a message pumped inside the call would do: the mouse moves, a button is pressed.
        SetCursor(nullptr);
        SendMessageW(control(L"CmdOn"), WM_SETCURSOR, reinterpret_cast<WPARAM>(control(L"CmdOn")),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        afterMouseMove = GetCursor();
        click(L"CmdOn");
    };
    fakeLink().replies.push_back(reply);
    setText(L"TxtCommand", L"ping");
    click(L"CmdSend");
    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    EXPECT_EQ(wait, during);
    EXPECT_EQ(wait, afterMouseMove);
    EXPECT_NE(wait, GetCursor());
    EXPECT_EQ(std::vector<std::wstring>{L"ping|2|0"}, commands());
}

// A failed call, Invoke's own (a box that converts to no number) or the method's error, shows its
// number and description in a box, writes no box and leaves the program running.
TEST_F(ConsoleHandlers, ReportFailedCallsWriteNothingAndKeepTheProgramRunning) {
    setText(L"TxtResult", L"kept");
    setText(L"TxtPoll", L"kept too");
    SendMessageW(control(L"List1"), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"kept line"));
    setText(L"TxtMotor", L"");
    click(L"CmdOn");
    ASSERT_EQ(1u, boxes_.boxes().size());
    const CaughtBox box = boxes_.boxes()[0];
    EXPECT_EQ(L"TestProgram", box.title);
    EXPECT_EQ(form_->window(), box.owner);
    EXPECT_NE(std::wstring::npos, box.text.find(L"80020005")) << testing::PrintToString(box.text);
    EXPECT_NE(std::wstring::npos, box.text.find(L"-2147352571"));
    EXPECT_GT(box.text.size(), box.text.find(L"\n\n") + 2) << "a description follows the number";
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(L"kept", text(L"TxtResult"));
    EXPECT_EQ(L"kept too", text(L"TxtPoll"));
    EXPECT_EQ(std::vector<std::wstring>{L"kept line"}, listLines());

    ASSERT_TRUE(IsWindow(form_->window()));
    setText(L"TxtMotor", L"4");
    click(L"CmdOn");
    EXPECT_EQ(std::vector<std::wstring>{L"out 2,4|2|0"}, commands());

    const HRESULT linkError = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, TOWERLINK_E_BUSY);
    fakeLink().failures[L"ExecuteCommand"] = {linkError, L"The link is busy", L""};
    click(L"CmdBattery");
    ASSERT_EQ(2u, boxes_.boxes().size());
    const std::wstring& report = boxes_.boxes()[1].text;
    // The number in upper-case hexadecimal, as Visual Basic shows it.
    EXPECT_NE(std::wstring::npos, report.find(L"8004020D")) << testing::PrintToString(report);
    EXPECT_NE(std::wstring::npos, report.find(L"The link is busy"));
}

// The list shows every entry of the size the boxes ask for, those the brick did not deliver as
// zeros, and nothing of an earlier upload or after a failed one.
TEST_F(ConsoleHandlers, UploadListsTheEntriesOfTheLastUploadOnly) {
    fakeLink().datalogEnd = 12;
    fakeLink().datalog = bytes(0, {1, 10, 0, 2, 20, 0, 3, 30, 0});
    click(L"CmdDlgUpload");
    EXPECT_EQ((std::vector<std::wstring>{L"Type:  1 LoByt:  10 HiByt:  0",
                                         L"Type:  2 LoByt:  20 HiByt:  0",
                                         L"Type:  3 LoByt:  30 HiByt:  0"}),
              listLines());
    EXPECT_EQ(L"0", text(L"TxtDlgs")) << "the size the control worked out stays in the control";

    fakeLink().datalogEnd = 300;
    fakeLink().datalog = bytes(0, {1, 23, 0, 2, 5, 1});
    setText(L"TxtDlgs", L"5");
    click(L"CmdDlgUpload");
    std::vector<std::wstring> expected{L"Type:  1 LoByt:  23 HiByt:  0",
                                       L"Type:  2 LoByt:  5 HiByt:  1"};
    expected.resize(5, L"Type:  0 LoByt:  0 HiByt:  0");
    EXPECT_EQ(expected, listLines());
    EXPECT_EQ(L"ReadDatalog 3,15", fakeLink().calls.back());

    fakeLink().failures[L"QueryDatalog"] = {E_FAIL, L"No datalog", L""};
    click(L"CmdDlgUpload");
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_NE(std::wstring::npos, boxes_.boxes()[0].text.find(L"No datalog"));
    EXPECT_TRUE(listLines().empty());
}
