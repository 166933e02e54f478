// The font that forms and their labels are designed in: MS Sans Serif 8 pt, at the screen's dots
// per inch, as the twips of a layout are. Where the face is missing the font mapper takes a plain
// sans serif of the same size. Owned: deleted with its holder, after the windows that use it.
#pragma once

#include <windows.h>

#include "UniqueHandle.h"

namespace kestrel {

class DialogFont {
public:
    DialogFont() = default;
    explicit DialogFont(int dpi) {
        LOGFONTW font{};
        font.lfHeight = -MulDiv(8, dpi, 72);
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
        font_ = GdiObject<HFONT>(CreateFontIndirectW(&font));
    }

    HFONT get() const { return font_.get(); }
    void reset() { font_.reset(); }

private:
    GdiObject<HFONT> font_;
};

}  // namespace kestrel
