// The face window and its label.
#include "Face.h"

#include "ComError.h"
#include "Module.h"
#include "WindowText.h"

namespace kestrel {

namespace {

constexpr wchar_t kClassName[] = L"KestrelRcxPilotFace";
constexpr int kLabelId = 1;

// The label as designed, in twips, in the face's client area of Face::kDesignedSize.
constexpr int kFaceWidth = Face::kDesignedSize.cx;
constexpr int kFaceHeight = Face::kDesignedSize.cy;
constexpr RECT kLabel{120, 120, 120 + 4575, 120 + 3255};

ATOM g_class = 0;

int pixels(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

int dpiOf(HWND window) {
    HDC dc = GetDC(window);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(window, dc);
    return dpi > 0 ? dpi : 96;
}

int screenDpi() {
    return dpiOf(nullptr);
}

ATOM registerClass(WNDPROC windowProc) {
    if (!g_class) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = windowProc;
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
    create();
}

// The window goes before the font that its label uses.
Face::~Face() {
    window_.reset();
}

// The face learns of its window's end here, whoever destroys it: a container destroys it with
// its own window, before or without deactivating the control.
LRESULT CALLBACK Face::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_DESTROY) {
        if (auto* face = reinterpret_cast<Face*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            face->window_.release();
            face->label_ = nullptr;
        }
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Face::create() {
    if (!registerClass(&Face::windowProc)) return;
    const int dpi = screenDpi();
    window_ = UniqueWindow(CreateWindowExW(0, kClassName, L"RcxPilot", WS_POPUP | WS_CLIPCHILDREN,
                                           0, 0, pixels(kFaceWidth, dpi), pixels(kFaceHeight, dpi),
                                           nullptr, nullptr, module::instance(), this));
    if (!window_) return;
    label_ = CreateWindowExW(0, L"Static", caption_.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0,
                             0, 0, window_.get(), reinterpret_cast<HMENU>(kLabelId),
                             module::instance(), nullptr);
    layout(dpi);
}

HWND Face::ensureWindow() {
    if (!window_ || !IsWindow(window_.get())) create();
    return window_.get();
}

void Face::layout(int dpi) {
    if (!label_) return;
    // A label's default font, not the bold system font that a bare static control draws in.
    DialogFont font(dpi);
    SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    font_ = std::move(font);
    SetWindowPos(label_, nullptr, pixels(kLabel.left, dpi), pixels(kLabel.top, dpi),
                 pixels(kLabel.right - kLabel.left, dpi), pixels(kLabel.bottom - kLabel.top, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Face::attach(HWND parent, const RECT& position, const RECT& clip) {
    if (!ensureWindow()) throw ComError(E_UNEXPECTED, L"The face has no window");
    // A child window must be a child before it moves into its parent.
    const LONG_PTR style = GetWindowLongPtrW(window_.get(), GWL_STYLE);
    SetWindowLongPtrW(window_.get(), GWL_STYLE, (style & ~WS_POPUP) | WS_CHILD | WS_CLIPSIBLINGS);
    SetParent(window_.get(), parent);
    if (GetParent(window_.get()) != parent) {
        const DWORD error = GetLastError();
        detach();
        throw ComError(error ? HRESULT_FROM_WIN32(error) : E_UNEXPECTED,
                       L"The face cannot be placed in its container");
    }
    layout(dpiOf(parent));
    setRects(position, clip);
    ShowWindow(window_.get(), SW_SHOWNA);
}

void Face::setRects(const RECT& position, const RECT& clip) {
    if (!window_) return;
    SetWindowPos(window_.get(), nullptr, position.left, position.top,
                 position.right - position.left, position.bottom - position.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    RECT visible{};
    if (!IntersectRect(&visible, &position, &clip)) {
        SetWindowRgn(window_.get(), CreateRectRgn(0, 0, 0, 0), TRUE);
    } else if (EqualRect(&visible, &position)) {
        SetWindowRgn(window_.get(), nullptr, TRUE);
    } else {
        OffsetRect(&visible, -position.left, -position.top);
        // The window owns the region from here on.
        SetWindowRgn(window_.get(), CreateRectRgnIndirect(&visible), TRUE);
    }
}

void Face::detach() {
    if (!window_) return;
    ShowWindow(window_.get(), SW_HIDE);
    SetParent(window_.get(), nullptr);
    const LONG_PTR style = GetWindowLongPtrW(window_.get(), GWL_STYLE);
    SetWindowLongPtrW(window_.get(), GWL_STYLE, (style & ~(WS_CHILD | WS_CLIPSIBLINGS)) | WS_POPUP);
    SetWindowRgn(window_.get(), nullptr, FALSE);
}

// The label's place scales with the bounds, so that a container drawing into a rectangle of any
// size sees the face as laid out.
void Face::draw(HDC dc, const RECT& bounds) const {
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    FillRect(dc, &bounds, GetSysColorBrush(COLOR_BTNFACE));
    RECT label{bounds.left + MulDiv(kLabel.left, width, kFaceWidth),
               bounds.top + MulDiv(kLabel.top, height, kFaceHeight),
               bounds.left + MulDiv(kLabel.right, width, kFaceWidth),
               bounds.top + MulDiv(kLabel.bottom, height, kFaceHeight)};
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, label.left, label.top, label.right, label.bottom);
    // Without a window the label's font is made for the device drawn on.
    DialogFont ownFont;
    HFONT font = label_ ? reinterpret_cast<HFONT>(SendMessageW(label_, WM_GETFONT, 0, 0)) : nullptr;
    if (!font) {
        ownFont = DialogFont(GetDeviceCaps(dc, LOGPIXELSY));
        font = ownFont.get();
    }
    if (font) SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    const std::wstring text = caption();
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &label,
              DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS);
    RestoreDC(dc, saved);
}

std::wstring Face::caption() const {
    if (!label_ || !IsWindow(label_)) return caption_;
    return windowText(label_);
}

void Face::setCaption(const std::wstring& caption) {
    caption_ = caption;
    if (label_ && IsWindow(label_)) {
        if (!SetWindowTextW(label_, caption.c_str()))
            throw ComError(HRESULT_FROM_WIN32(GetLastError()), L"The label cannot be written");
        InvalidateRect(label_, nullptr, TRUE);
    }
    if (listener_) listener_();
}

void Face::showMessage(const std::wstring& text) {
    HWND owner = window_ && IsWindowVisible(window_.get()) ? window_.get() : nullptr;
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
