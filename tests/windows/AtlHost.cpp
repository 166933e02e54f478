// The AtlAxWin form of the hosting tests.
#include "AtlHost.h"

#include <stdexcept>

#include "LoadedLibrary.h"

namespace kestrel::test {

namespace {

using AxWinInit = BOOL(WINAPI*)();
using AxGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

constexpr wchar_t kFormClass[] = L"KestrelTestForm";

ATOM registerForm() {
    static ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kFormClass;
        return RegisterClassExW(&wc);
    }();
    return atom;
}

// atl.dll stays loaded for the process: its window class outlives an unload, and a second
// AtlAxWinInit after a reload fails on it.
HMODULE loadAtl() {
    static HMODULE atl = [] {
        HMODULE loaded = LoadLibraryW(L"atl.dll");
        if (!loaded) loaded = LoadLibraryW(L"atl100.dll");
        auto init = loaded ? exported<AxWinInit>(loaded, "AtlAxWinInit") : nullptr;
        return init && init() ? loaded : nullptr;
    }();
    return atl;
}

}  // namespace

AtlHost::AtlHost() : atl_(loadAtl()) {
    if (!atl_) throw std::runtime_error("no atl.dll whose AtlAxWinInit succeeds");
}

AtlHost::~AtlHost() {
    close();
}

bool AtlHost::open(const wchar_t* progId, int width, int height) {
    if (!registerForm()) return false;
    RECT frame{0, 0, width + 40, height + 40};
    form_ = CreateWindowExW(0, kFormClass, L"Kestrel hosting test", WS_POPUP | WS_VISIBLE, 20, 20,
                            frame.right, frame.bottom, nullptr, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    if (!form_) return false;
    axWindow_ = CreateWindowExW(0, L"AtlAxWin", progId, WS_CHILD | WS_VISIBLE, 20, 20, width,
                                height, form_, nullptr, GetModuleHandleW(nullptr), nullptr);
    pump(100);
    return axWindow_ && control();
}

void AtlHost::close() {
    if (form_) DestroyWindow(form_);
    form_ = axWindow_ = nullptr;
    pump(50);
}

ComPtr<IUnknown> AtlHost::control() const {
    ComPtr<IUnknown> control;
    auto get = exported<AxGetControl>(atl_, "AtlAxGetControl");
    if (get && axWindow_) get(axWindow_, control.put());
    return control;
}

void AtlHost::pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

}  // namespace kestrel::test
