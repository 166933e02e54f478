// A CBT hook that answers message boxes as they are activated.
#include "MessageBoxHook.h"

namespace kestrel::test {

namespace {

thread_local std::vector<CaughtBox> t_boxes;

std::wstring windowText(HWND window) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

BOOL CALLBACK findText(HWND child, LPARAM found) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    // The message is the static text that is not the icon.
    if (_wcsicmp(className, L"Static") == 0 && GetWindowTextLengthW(child) > 0) {
        *reinterpret_cast<std::wstring*>(found) = windowText(child);
        return FALSE;
    }
    return TRUE;
}

LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(box, className, 32);
        if (wcscmp(className, L"#32770") == 0) {
            CaughtBox caught{L"", windowText(box), GetWindowLongPtrW(box, GWL_STYLE),
                             GetWindow(box, GW_OWNER)};
            EnumChildWindows(box, findText, reinterpret_cast<LPARAM>(&caught.text));
            // An icon would be a second static control without text.
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
}

const std::vector<CaughtBox>& MessageBoxHook::boxes() const {
    return t_boxes;
}
void MessageBoxHook::clear() {
    t_boxes.clear();
}

}  // namespace kestrel::test
