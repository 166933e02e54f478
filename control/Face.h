// The control's face: a window of its own holding the label txtresult, the one place where the
// control tells its user what is going on. Without a container the window is hidden but still
// there, so the label's text is kept and readable the same way; a container re-parents it.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel {

class Face {
public:
    Face();
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;
    ~Face();

    // The label's text as the label holds it.
    std::wstring caption() const;
    void setCaption(const std::wstring& caption);

    HWND window() const { return window_; }
    HWND label() const { return label_; }

    // A modal box with OK only, no icon and the system's default title, owned by the face.
    void showMessage(const std::wstring& text);

    // The face's window class belongs to the module: gone when the module unloads.
    static void unregisterClass();

private:
    HWND window_ = nullptr;
    HWND label_ = nullptr;
    // Kept as well, for a session without a desktop where no window can be made.
    std::wstring caption_ = L"LEGO";
};

}  // namespace kestrel
