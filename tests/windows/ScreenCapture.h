// The pixels of a part of the screen, or of a picture drawn in memory, kept for checks and saved
// as a .bmp test artefact.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kestrel::test {

class ScreenCapture {
public:
    // A blank 32-bit picture of the given size, drawn into through dc().
    ScreenCapture(int width, int height);
    // Copies the screen under the window's client area (what the user sees there).
    explicit ScreenCapture(HWND window);
    ScreenCapture(const ScreenCapture&) = delete;
    ScreenCapture& operator=(const ScreenCapture&) = delete;
    ~ScreenCapture();

    HDC dc() const { return dc_; }
    int width() const { return header_.biWidth; }
    int height() const { return -header_.biHeight; }
    COLORREF at(int x, int y) const;
    // Pixels within the rectangle whose colour is not background.
    int countOther(const RECT& area, COLORREF background) const;
    bool save(const std::wstring& path) const;

private:
    BITMAPINFOHEADER header_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    const uint32_t* pixels_ = nullptr;  // top-down, 0x00RRGGBB
};

}  // namespace kestrel::test
