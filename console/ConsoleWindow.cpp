// Form1's window: layout in pixels of the screen's resolution, colours, separator lines, focus
// and the clicks.
#include "ConsoleWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <new>
#include <numeric>
#include <utility>

#include "ConsoleText.h"
#include "FormLayout.h"
#include "Handlers.h"

namespace kestrel::console {

namespace {

constexpr wchar_t kWindowClass[] = L"KestrelTestConsole";
constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;
// Child identifiers stay clear of IDOK and IDCANCEL, which dialog keys send to the form.
constexpr int kFirstControlId = 1000;
constexpr COLORREF kGroupLabelColour = RGB(255, 255, 0);

struct WindowKind {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

WindowKind windowKind(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button: return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 0};
        case ControlKind::TextBox:
            return {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case ControlKind::Label:
        case ControlKind::GroupLabel: return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::CheckBox: return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
        case ControlKind::Frame: return {L"BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN, 0};
        case ControlKind::ListBox:
            return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                    WS_EX_CLIENTEDGE};
        case ControlKind::Line:
        case ControlKind::RcxPilot: break;
    }
    return {nullptr, 0, 0};
}

// The order of creation is the order of the children: the keyboard order first (dialog keys
// follow it), then the labels, each one above those listed before it so that a label's text is
// not hidden by the empty part of a neighbour's rectangle, and the frame last so that
// everything inside it is drawn above it.
int creationGroup(const ControlLayout& control) {
    if (control.tabPlace != kNoTabPlace) return 0;
    if (control.kind == ControlKind::Frame) return 2;
    return 1;
}

bool createdBefore(std::span<const ControlLayout> layout, size_t a, size_t b) {
    const int groupA = creationGroup(layout[a]);
    const int groupB = creationGroup(layout[b]);
    if (groupA != groupB) return groupA < groupB;
    if (groupA == 0) return layout[a].tabPlace < layout[b].tabPlace;
    return a > b;
}

// A group box paints its border and caption only, and the form clips its children out of its
// own painting: the frame fills its inside itself.
LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                DWORD_PTR) {
    if (message == WM_ERASEBKGND) {
        RECT inside;
        GetClientRect(window, &inside);
        FillRect(reinterpret_cast<HDC>(w), &inside, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, &frameProcedure, 0);
    return DefSubclassProc(window, message, w, l);
}

bool registerWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void showErrorBox(HWND owner, const ErrorDetails& error) {
    MessageBoxW(owner, runTimeErrorText(error).c_str(), kFormTitle, MB_OK | MB_ICONERROR);
}

}  // namespace

ConsoleWindow::ConsoleWindow(HINSTANCE instance, int showCommand, OnClose onClose)
    : onClose_(onClose) {
    if (HDC screen = GetDC(nullptr)) {
        dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    // The layout's twips were measured in this font; a wider one cuts captions short.
    font_ = DialogFont(dpiY_);
    groupLabelBrush_ = GdiObject<HBRUSH>(CreateSolidBrush(kGroupLabelColour));

    if (!registerWindowClass(instance, &ConsoleWindow::windowProcedure)) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        destroy();
        throw ComError(takeErrorInfo(hr));
    }
    RECT frame{0, 0, pixelsX(kFormClientWidth), pixelsY(kFormClientHeight)};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
    CreateWindowExW(kFormExStyle, kWindowClass, kFormTitle, kFormStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                    nullptr, instance, this);
    if (!window_) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        destroy();
        throw ComError(takeErrorInfo(hr));
    }

    try {
        createControls();
    } catch (...) {
        destroy();
        throw;
    }
    focusBeforeDeactivation_ = control(L"TxtCommand");
    ShowWindow(window_.get(), showCommand);
    UpdateWindow(window_.get());
    SetFocus(focusBeforeDeactivation_);
    if (!hasPilot()) showErrorBox(window_.get(), host_->failure());
}

ConsoleWindow::~ConsoleWindow() {
    destroy();
}

void ConsoleWindow::destroy() {
    window_.reset();
    host_.reset();
    font_.reset();
    groupLabelBrush_.reset();
}

HWND ConsoleWindow::control(std::wstring_view name) const {
    const auto layout = formLayout();
    for (size_t i = 0; i < layout.size() && i < children_.size(); ++i)
        if (layout[i].name == name) return children_[i];
    return nullptr;
}

bool ConsoleWindow::hasPilot() const {
    return host_ && host_->control();
}

IDispatch& ConsoleWindow::pilot() const {
    if (!host_) throw ComError(E_UNEXPECTED, L"RcxPilot1 is not on the form");
    if (!host_->control()) throw ComError(host_->failure());
    return *host_->control();
}

bool ConsoleWindow::translate(MSG& message) {
    return window_ && IsDialogMessageW(window_.get(), &message);
}

void ConsoleWindow::click(std::wstring_view button) {
    // A control that lets messages through while it works must not start a second call.
    if (handlerRunning_) return;
    handlerRunning_ = true;
    try {
        runClickHandler(button, *this);
    } catch (const ComError& error) {
        handlerRunning_ = false;
        showErrorBox(window_.get(), error.details());
    } catch (const std::bad_alloc&) {
        handlerRunning_ = false;
        showErrorBox(window_.get(), takeErrorInfo(E_OUTOFMEMORY));
    }
    handlerRunning_ = false;
}

void ConsoleWindow::setCallRunning(bool running) {
    callRunning_ = running;
    SetCursor(LoadCursorW(nullptr, running ? IDC_WAIT : IDC_ARROW));
}

int ConsoleWindow::pixelsX(int twips) const {
    return MulDiv(twips, dpiX_, kTwipsPerInch);
}

int ConsoleWindow::pixelsY(int twips) const {
    return MulDiv(twips, dpiY_, kTwipsPerInch);
}

RECT ConsoleWindow::pixelRect(int left, int top, int width, int height) const {
    const int x = pixelsX(left);
    const int y = pixelsY(top);
    return {x, y, x + pixelsX(width), y + pixelsY(height)};
}

void ConsoleWindow::createControls() {
    const auto layout = formLayout();
    children_.assign(layout.size(), nullptr);
    std::vector<size_t> order(layout.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return createdBefore(layout, a, b); });

    auto create = [&](size_t i) {
        const ControlLayout& c = layout[i];
        const int id = kFirstControlId + static_cast<int>(i);
        RECT rect = pixelRect(c.left, c.top, c.width, c.height);
        if (c.kind == ControlKind::RcxPilot) {
            host_ = std::make_unique<ControlHost>(window_.get(), rect, id, kControlProgId);
            children_[i] = host_->window();
            return;
        }
        HWND parent = window_.get();
        if (!c.parent.empty()) {
            parent = control(c.parent);
            const ControlLayout* frame = findControl(c.parent);
            OffsetRect(&rect, -pixelsX(frame->left), -pixelsY(frame->top));
        }
        const WindowKind kind = windowKind(c.kind);
        const std::wstring text(c.text);
        HWND child = CreateWindowExW(
            kind.exStyle, kind.className, text.c_str(),
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | kind.style, rect.left, rect.top,
            rect.right - rect.left, rect.bottom - rect.top, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
        if (!child) throw ComError(takeErrorInfo(HRESULT_FROM_WIN32(GetLastError())));
        children_[i] = child;
        if (font_.get())
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        if (c.kind == ControlKind::TextBox) SendMessageW(child, EM_SETLIMITTEXT, 0, 0);
        if (c.kind == ControlKind::CheckBox) SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
        if (c.kind == ControlKind::Frame) SetWindowSubclass(child, &frameProcedure, 0, 0);
    };
    // The frame's own labels need the frame, which comes last among the form's children.
    std::vector<size_t> inFrames;
    for (size_t i : order) {
        if (layout[i].kind == ControlKind::Line) continue;
        if (!layout[i].parent.empty())
            inFrames.push_back(i);
        else
            create(i);
    }
    for (size_t i : inFrames) create(i);
}

void ConsoleWindow::paintLines(HDC dc) const {
    HGDIOBJ old = SelectObject(dc, GetStockObject(DC_PEN));
    SetDCPenColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    for (const ControlLayout& c : formLayout()) {
        if (c.kind != ControlKind::Line) continue;
        MoveToEx(dc, pixelsX(c.left), pixelsY(c.top), nullptr);
        LineTo(dc, pixelsX(c.left + c.width) + 1, pixelsY(c.top));
    }
    SelectObject(dc, old);
}

bool ConsoleWindow::isGroupLabel(HWND child) const {
    const auto layout = formLayout();
    for (size_t i = 0; i < layout.size() && i < children_.size(); ++i)
        if (children_[i] == child) return layout[i].kind == ControlKind::GroupLabel;
    return false;
}

LRESULT CALLBACK ConsoleWindow::windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<ConsoleWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->window_ = UniqueWindow(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<ConsoleWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, w, l);
    return self->handle(window, message, w, l);
}

// `window` rather than window_: while the holder destroys the window it holds it no longer.
LRESULT ConsoleWindow::handle(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND: {
            const auto layout = formLayout();
            const int index = LOWORD(w) - kFirstControlId;
            if (l != 0 && HIWORD(w) == BN_CLICKED && index >= 0 &&
                index < static_cast<int>(layout.size()) &&
                layout[index].kind == ControlKind::Button)
                click(layout[index].name);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            if (isGroupLabel(reinterpret_cast<HWND>(l))) {
                SetBkColor(reinterpret_cast<HDC>(w), kGroupLabelColour);
                return reinterpret_cast<LRESULT>(groupLabelBrush_.get());
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (HDC dc = BeginPaint(window, &paint)) {
                paintLines(dc);
                EndPaint(window, &paint);
            }
            return 0;
        }
        // Over the form and its controls alike, as long as the call runs.
        case WM_SETCURSOR:
            if (callRunning_) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        // A plain window forgets its focused child when it loses activation; a form does not.
        case WM_ACTIVATE:
            if (LOWORD(w) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) focusBeforeDeactivation_ = focus;
            } else if (focusBeforeDeactivation_ && IsWindow(focusBeforeDeactivation_)) {
                SetFocus(focusBeforeDeactivation_);
                return 0;
            }
            break;
        case WM_DESTROY:
            if (host_) host_->release();
            if (onClose_ == OnClose::EndProgram) PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            // Whoever destroyed the window, the holder must not destroy it again.
            window_.release();
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            children_.clear();
            focusBeforeDeactivation_ = nullptr;
            return DefWindowProcW(window, message, w, l);
        }
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace kestrel::console
