// The label txtresult and the control's message boxes.
#include "Face.h"

namespace kestrel {

void Face::setCaption(std::wstring caption) {
    caption_ = std::move(caption);
}

void Face::showMessage(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), nullptr, MB_OK);
}

}  // namespace kestrel
