// A CBT hook that answers message boxes as they are activated.
#include "MessageBoxHook.h"

#include <gtest/gtest.h>

#include "LoadedLibrary.h"

namespace kestrel::test {

namespace {

thread_local std::vector<CaughtBox> t_boxes;

BOOL CALLBACK inspect(HWND child, LPARAM caught) {
    auto* box = reinterpret_cast<CaughtBox*>(caught);
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (_wcsicmp(className, L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON)
            box->hasIcon = box->hasIcon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        else if (GetWindowTextLengthW(child) > 0)
            box->text = windowText(child);
    } else if (_wcsicmp(className, L"Button") == 0 && (style & WS_VISIBLE)) {
        ++box->buttons;
    }
    return TRUE;
}

LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(box, className, 32);
        if (wcscmp(className, L"#32770") == 0) {
            CaughtBox caught{L"", windowText(box), false, 0, GetWindow(box, GW_OWNER)};
            EnumChildWindows(box, inspect, reinterpret_cast<LPARAM>(&caught));
            t_boxes.push_back(caught);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

MessageBoxHook::MessageBoxHook() {
    t_boxes.clear();
    hook_ = SetWindowsHookExW(WH_CBT, onCbt, nullptr, GetCurrentThreadId());
}

MessageBoxHook::~MessageBoxHook() {
    if (hook_) UnhookWindowsHookEx(hook_);
    EXPECT_EQ(seen_, t_boxes.size()) << "message boxes the test did not look at";
}

const std::vector<CaughtBox>& MessageBoxHook::boxes() const {
    seen_ = t_boxes.size();
    return t_boxes;
}
void MessageBoxHook::clear() {
    t_boxes.clear();
    seen_ = 0;
}

}  // namespace kestrel::test
