// The control's face: the label txtresult, the one place where the control tells its user what
// is going on, and the owner of the control's message boxes.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel {

class Face {
public:
    Face() = default;
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    const std::wstring& caption() const { return caption_; }
    void setCaption(std::wstring caption);

    // A modal box with OK only, no icon and the system's default title, owned by the face.
    void showMessage(const std::wstring& text);

private:
    std::wstring caption_ = L"LEGO";
};

}  // namespace kestrel
