// The control's face: a window of its own holding the label txtresult, the one place where the
// control tells its user what is going on. Without a container the window is a hidden popup, so
// the label's text is kept and readable the same way; a container that activates the control
// in place gets the window as a child of its own, and has it back hidden on deactivation. A
// container may destroy the window with its own: the face then makes a new hidden one on demand.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "DialogFont.h"
#include "UniqueHandle.h"

namespace kestrel {

class Face {
public:
    // The client area as designed, in twips; containers learn it as the control's extent.
    static constexpr SIZE kDesignedSize{4800, 3600};

    Face();
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;
    ~Face();

    // The label's text as the label holds it.
    std::wstring caption() const;
    void setCaption(const std::wstring& caption);

    HWND window() const { return window_.get(); }
    // The window, made again (hidden) if it was destroyed; null only without a desktop.
    HWND ensureWindow();

    // In place in a container: a visible child of parent at the given rectangles (pixels in the
    // parent's client area; the face shows only what lies within clip).
    void attach(HWND parent, const RECT& position, const RECT& clip);
    void setRects(const RECT& position, const RECT& clip);
    // Back to a hidden popup of its own.
    void detach();

    // Paints the face scaled into bounds, for containers that draw the control themselves.
    void draw(HDC dc, const RECT& bounds) const;

    // Called after every caption change, so that a container's view can be told to redraw.
    void setChangeListener(std::function<void()> listener) { listener_ = std::move(listener); }

    // A modal box with OK only, no icon and the system's default title, owned by the face.
    void showMessage(const std::wstring& text);

    // The face's window class belongs to the module: gone when the module unloads.
    static void unregisterClass();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void create();
    // Places the label as designed and gives it its font, at the given dots per inch.
    void layout(int dpi);

    UniqueWindow window_;
    HWND label_ = nullptr;
    DialogFont font_;  // the label's, at the dots per inch of the window it is in
    // Kept as well, for a session without a desktop where no window can be made.
    std::wstring caption_ = L"LEGO";
    std::function<void()> listener_;
};

}  // namespace kestrel
