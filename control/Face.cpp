// The face window and its label.
#include "Face.h"

#include <vector>

#include "ComError.h"
#include "Module.h"

namespace kestrel {

namespace {

constexpr wchar_t kClassName[] = L"KestrelRcxPilotFace";
constexpr int kLabelId = 1;

// The face as designed, in twips: a 4800 by 3600 client area with the label at 120, 120.
constexpr int kFaceWidth = 4800;
constexpr int kFaceHeight = 3600;
constexpr RECT kLabel{120, 120, 120 + 4575, 120 + 3255};

ATOM g_class = 0;

int pixels(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

int screenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

ATOM registerClass() {
    if (!g_class) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = module::instance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        g_class = RegisterClassExW(&wc);
    }
    return g_class;
}

}  // namespace

Face::Face() {
    if (!registerClass()) return;
    const int dpi = screenDpi();
    window_ = CreateWindowExW(0, kClassName, L"RcxPilot", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                              pixels(kFaceWidth, dpi), pixels(kFaceHeight, dpi), nullptr, nullptr,
                              module::instance(), nullptr);
    if (!window_) return;
    label_ = CreateWindowExW(0, L"Static", caption_.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                             pixels(kLabel.left, dpi), pixels(kLabel.top, dpi),
                             pixels(kLabel.right - kLabel.left, dpi),
                             pixels(kLabel.bottom - kLabel.top, dpi), window_,
                             reinterpret_cast<HMENU>(kLabelId), module::instance(), nullptr);
}

Face::~Face() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
}

std::wstring Face::caption() const {
    if (!label_ || !IsWindow(label_)) return caption_;
    std::vector<wchar_t> text(GetWindowTextLengthW(label_) + 1);
    const int length = GetWindowTextW(label_, text.data(), static_cast<int>(text.size()));
    return std::wstring(text.data(), length);
}

void Face::setCaption(const std::wstring& caption) {
    caption_ = caption;
    if (label_ && IsWindow(label_)) {
        if (!SetWindowTextW(label_, caption.c_str()))
            throw ComError(HRESULT_FROM_WIN32(GetLastError()), L"The label cannot be written");
        InvalidateRect(label_, nullptr, TRUE);
    }
}

void Face::showMessage(const std::wstring& text) {
    HWND owner = window_ && IsWindowVisible(window_) ? window_ : nullptr;
    if (!MessageBoxW(owner, text.c_str(), nullptr, MB_OK)) {
        const DWORD error = GetLastError();
        // Without a desktop there is nobody to show the box to; that is not a failure.
        if (error != ERROR_SUCCESS && window_)
            throw ComError(HRESULT_FROM_WIN32(error), L"The message box cannot be shown");
    }
}

void Face::unregisterClass() {
    if (g_class) UnregisterClassW(kClassName, module::instance());
    g_class = 0;
}

}  // namespace kestrel
