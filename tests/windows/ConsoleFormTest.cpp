// TestKestrel's window as a person and an accessibility tool see it: the controls, their texts,
// places and keyboard order, the colours and the end of the window.
#include "ConsoleFixture.h"
#include "FormLayout.h"

#include <algorithm>

using namespace kestrel;
using namespace kestrel::test;
using console::ControlKind;

namespace {

// The window class of each kind, and the button style of those drawn by the button class.
std::pair<std::wstring, LONG_PTR> expectedClass(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button: return {L"Button", BS_PUSHBUTTON};
        case ControlKind::CheckBox: return {L"Button", BS_AUTOCHECKBOX};
        case ControlKind::Frame: return {L"Button", BS_GROUPBOX};
        case ControlKind::TextBox: return {L"Edit", 0};
        case ControlKind::Label:
        case ControlKind::GroupLabel: return {L"Static", 0};
        case ControlKind::ListBox: return {L"ListBox", 0};
        case ControlKind::RcxPilot: return {L"AtlAxWin", 0};
        case ControlKind::Line: break;
    }
    return {};
}

}  // namespace

class ConsoleForm : public ConsoleTest {
protected:
    std::wstring nameOf(HWND window) const {
        for (const auto& c : console::formLayout())
            if (c.kind != ControlKind::Line && form_->control(c.name) == window)
                return std::wstring(c.name);
        return L"<not on the form>";
    }
    void pressTab(bool shift) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG message{GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001, 0, {}};
        EXPECT_TRUE(form_->translate(message));
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
};

// The form as it opens, and every control on it: its window, place and style; and, but for the
// control's host, its caption in MS Sans Serif 8 pt, the font the layout's twips were measured
// in, which lies, wrapped as its control wraps it, within the control's text area.
TEST_F(ConsoleForm, ShowsEveryControlAtItsScaledPlaceWithItsCaptionInMsSansSerif) {
    EXPECT_EQ(console::kFormTitle, windowText(form_->window()));
    EXPECT_EQ(BST_CHECKED, SendMessageW(control(L"ChkLasm"), BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, SendMessageW(control(L"List1"), LB_GETCOUNT, 0, 0));
    // Captions that the layout itself has no room for at that size: a word wider than its button
    // or label ("(Re)connect ", "Slope(0=absolute,1-31=change", "Command:" by the colon's blank
    // column), and two lines of 13 pixels in a label of 375 twips, which loses the descenders'
    // last row.
    const std::vector<std::wstring> tooLong = {L"CmdReconnect", L"Label26", L"Label1",  L"Label5",
                                               L"Label12",      L"Label14", L"Label18", L"Label19",
                                               L"Label21",      L"Label30"};
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    HWND form = form_->window();
    RECT client;
    GetClientRect(form, &client);
    EXPECT_NEAR(MulDiv(9150, dpiX, 1440), client.right, 1);
    EXPECT_NEAR(MulDiv(8055, dpiY, 1440), client.bottom, 1);
    EXPECT_EQ(nullptr, GetMenu(form));

    int formChildren = 0;
    for (const auto& c : console::formLayout()) {
        if (c.kind == ControlKind::Line) continue;
        const std::wstring name(c.name);
        SCOPED_TRACE(testing::PrintToString(name));
        HWND window = form_->control(c.name);
        ASSERT_NE(nullptr, window);
        HWND parent = c.parent.empty() ? form : form_->control(c.parent);
        EXPECT_EQ(parent, GetParent(window));
        if (c.parent.empty()) ++formChildren;
        EXPECT_TRUE(IsWindowVisible(window));
        const auto [windowClass, buttonStyle] = expectedClass(c.kind);
        wchar_t actualClass[64] = {};
        GetClassNameW(window, actualClass, 64);
        EXPECT_EQ(windowClass, actualClass);

        RECT rect;
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_NEAR(MulDiv(c.left, dpiX, 1440), rect.left, 1);
        EXPECT_NEAR(MulDiv(c.top, dpiY, 1440), rect.top, 1);
        EXPECT_NEAR(MulDiv(c.left + c.width, dpiX, 1440), rect.right, 1);
        EXPECT_NEAR(MulDiv(c.top + c.height, dpiY, 1440), rect.bottom, 1);

        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        const bool focusable =
            c.tabPlace != console::kNoTabPlace && c.kind != ControlKind::RcxPilot;
        EXPECT_EQ(focusable, (style & WS_TABSTOP) != 0);
        if (windowClass == L"Button") {
            EXPECT_EQ(buttonStyle, style & BS_TYPEMASK);
        }
        if (c.kind == ControlKind::TextBox) {
            EXPECT_EQ(0, style & (ES_MULTILINE | ES_NUMBER | ES_READONLY));
            EXPECT_GE(SendMessageW(window, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE) << "no length limit";
        }
        if (c.kind == ControlKind::RcxPilot) continue;
        EXPECT_EQ(c.text, windowText(window));

        HDC dc = GetDC(window);
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc, LF_FACESIZE, face);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        EXPECT_STREQ(L"MS Sans Serif", face);
        EXPECT_EQ(MulDiv(8, dpiY, 72), metrics.tmHeight - metrics.tmInternalLeading);

        RECT area;
        GetClientRect(window, &area);
        UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_WORDBREAK;
        switch (c.kind) {
            case ControlKind::Button:  // inside its raised edge
                InflateRect(&area, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
                break;
            case ControlKind::CheckBox:  // one line, right of the box
                area.left += MulDiv(17, dpiX, 96);
                format = DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE;
                break;
            case ControlKind::Frame:  // one line on the top edge, past the left corner
                area.left += MulDiv(7, dpiX, 96);
                format = DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE;
                break;
            default: break;
        }
        RECT drawn = area;
        if (c.kind != ControlKind::TextBox && !c.text.empty())
            DrawTextW(dc, c.text.data(), static_cast<int>(c.text.size()), &drawn, format);
        SelectObject(dc, old);
        ReleaseDC(window, dc);
        if (std::find(tooLong.begin(), tooLong.end(), name) != tooLong.end()) continue;
        EXPECT_TRUE(drawn.right <= area.right && drawn.bottom <= area.bottom)
            << "text " << drawn.right - drawn.left << " by " << drawn.bottom - drawn.top
            << " px in " << area.right - area.left << " by " << area.bottom - area.top;
    }
    int actualChildren = 0;
    for (HWND w = GetWindow(form, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) ++actualChildren;
    EXPECT_EQ(formChildren, actualChildren) << "nothing on the form beyond the layout";
}

TEST_F(ConsoleForm, TabAndShiftTabFollowTheKeyboardPlaces) {
    std::vector<std::pair<int, std::wstring>> places;
    for (const auto& c : console::formLayout())
        if (c.tabPlace != console::kNoTabPlace && c.kind != ControlKind::RcxPilot)
            places.emplace_back(c.tabPlace, c.name);
    std::sort(places.begin(), places.end());
    std::vector<std::wstring> order, visited{nameOf(GetFocus())};
    for (const auto& place : places) order.push_back(place.second);
    ASSERT_EQ(L"TxtCommand", order.front());
    for (size_t i = 1; i < order.size(); ++i) {
        pressTab(false);
        visited.push_back(nameOf(GetFocus()));
    }
    EXPECT_EQ(order, visited);
    pressTab(false);
    EXPECT_EQ(order.front(), nameOf(GetFocus())) << "the order wraps round";
    pressTab(true);
    EXPECT_EQ(order.back(), nameOf(GetFocus()));
    pressTab(true);
    EXPECT_EQ(order[order.size() - 2], nameOf(GetFocus()));
}

TEST_F(ConsoleForm, PaintsOnlyTheGroupLabelsYellow) {
    HDC dc = CreateCompatibleDC(nullptr);
    for (const auto& c : console::formLayout()) {
        if (c.kind != ControlKind::Label && c.kind != ControlKind::GroupLabel &&
            c.kind != ControlKind::CheckBox)
            continue;
        SetBkColor(dc, RGB(1, 2, 3));
        SendMessageW(form_->window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(form_->control(c.name)));
        EXPECT_EQ(c.kind == ControlKind::GroupLabel, GetBkColor(dc) == RGB(255, 255, 0))
            << testing::PrintToString(std::wstring(c.name));
    }
    DeleteDC(dc);
}

TEST_F(ConsoleForm, ClosingTheWindowEndsTheControlAndClosesTheLink) {
    HWND form = form_->window();
    SendMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(form));
    EXPECT_EQ(0, fakeLink().liveLinks);
    EXPECT_EQ(1, std::ranges::count(fakeLink().calls, L"ClosePort"));
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
        << "a form inside another program leaves the program running";
}

// A link whose events cannot be connected makes the control's creation fail, with the link's
// reason.
TEST_F(ConsoleWindowTest, ReportsAControlThatCannotBeCreatedAndOpensAllTheSame) {
    ASSERT_HRESULT_SUCCEEDED(library_.registerServer());
    FakeLinkRegistration registration;
    resetFakeLink();
    fakeLink().refuseAdvise = true;
    console::ConsoleWindow form(GetModuleHandleW(nullptr), SW_SHOWNORMAL,
                                console::ConsoleWindow::OnClose::KeepRunning);
    EXPECT_FALSE(form.hasPilot());
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_NE(std::wstring::npos, boxes_.boxes()[0].text.find(L"80040201"))
        << testing::PrintToString(boxes_.boxes()[0].text);
    EXPECT_NE(std::wstring::npos, boxes_.boxes()[0].text.find(L"Refused"));
    EXPECT_TRUE(IsWindowVisible(form.window()));

    SendMessageW(form.control(L"CmdOn"), BM_CLICK, 0, 0);
    ASSERT_EQ(2u, boxes_.boxes().size()) << "each click tells why nothing happens";
    EXPECT_EQ(boxes_.boxes()[0].text, boxes_.boxes()[1].text);
}
