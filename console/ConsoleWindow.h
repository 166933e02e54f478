// Form1, TestKestrel's one window: the controls of the form layout as real child windows of the
// standard classes, RcxPilot1 hosted among them, and each button's click handed to its handler.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string_view>
#include <vector>

#include "ControlHost.h"
#include "DialogFont.h"
#include "UniqueHandle.h"

namespace kestrel::console {

class ConsoleWindow {
public:
    enum class OnClose { EndProgram, KeepRunning };

    // Creates and shows the window; RcxPilot1 is created with it. A control that cannot be
    // created is reported in a box, and the window opens all the same.
    ConsoleWindow(HINSTANCE instance, int showCommand, OnClose onClose);
    ConsoleWindow(const ConsoleWindow&) = delete;
    ConsoleWindow& operator=(const ConsoleWindow&) = delete;
    ~ConsoleWindow();

    HWND window() const { return window_.get(); }
    // The child window of a control of the layout, or null.
    HWND control(std::wstring_view name) const;
    // RcxPilot1's automation interface; throws ComError when the control could not be created.
    IDispatch& pilot() const;
    bool hasPilot() const;

    // Dialog-style keys (Tab, Shift+Tab, Space on buttons); true when the message was used.
    bool translate(MSG& message);

    // Runs the named button's click handler; a failed call is reported in a box and the
    // program goes on.
    void click(std::wstring_view button);

    // The wait cursor over the window while a call to the control runs.
    void setCallRunning(bool running);

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT handle(HWND window, UINT message, WPARAM w, LPARAM l);

    void createControls();
    void destroy();
    int pixelsX(int twips) const;
    int pixelsY(int twips) const;
    RECT pixelRect(int left, int top, int width, int height) const;
    void paintLines(HDC dc) const;
    bool isGroupLabel(HWND child) const;

    UniqueWindow window_;
    OnClose onClose_;
    int dpiX_ = 96;
    int dpiY_ = 96;
    DialogFont font_;
    GdiObject<HBRUSH> groupLabelBrush_;
    std::vector<HWND> children_;  // by position in the form layout
    std::unique_ptr<ControlHost> host_;
    HWND focusBeforeDeactivation_ = nullptr;
    bool handlerRunning_ = false;
    bool callRunning_ = false;
};

}  // namespace kestrel::console
