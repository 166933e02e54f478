// The pixels of a part of the screen, kept for checks and saved as a .bmp test artefact.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::test {

class ScreenCapture {
public:
    // Copies the screen under the window's client area (what the user sees there).
    explicit ScreenCapture(HWND window);

    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF at(int x, int y) const;
    // Pixels within the rectangle whose colour is not background.
    int countOther(const RECT& area, COLORREF background) const;
    bool save(const std::wstring& path) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;  // top-down, 0x00RRGGBB
};

}  // namespace kestrel::test
