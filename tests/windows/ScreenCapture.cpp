// Pictures in a 32-bit top-down DIB section selected into a memory DC.
#include "ScreenCapture.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kestrel::test {

namespace {

SIZE clientSize(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

}  // namespace

ScreenCapture::ScreenCapture(int width, int height)
    : header_{sizeof(header_), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0} {
    void* bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO*>(&header_), DIB_RGB_COLORS, &bits,
                               nullptr, 0);
    if (!dc_ || !bitmap_) throw std::runtime_error("no picture of that size");
    old_ = SelectObject(dc_, bitmap_);
    pixels_ = static_cast<const uint32_t*>(bits);
}

ScreenCapture::ScreenCapture(HWND window)
    : ScreenCapture(clientSize(window).cx, clientSize(window).cy) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    BitBlt(dc_, 0, 0, width(), height(), screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

ScreenCapture::~ScreenCapture() {
    if (old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
}

COLORREF ScreenCapture::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return CLR_INVALID;
    GdiFlush();  // drawing into the DC may still be queued
    const uint32_t p = pixels_[static_cast<size_t>(y) * width() + x];
    return RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
}

int ScreenCapture::countOther(const RECT& area, COLORREF background) const {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (at(x, y) != background) ++count;
    return count;
}

bool ScreenCapture::save(const std::wstring& path) const {
    GdiFlush();
    const DWORD bytes = static_cast<DWORD>(width() * height() * sizeof(uint32_t));
    BITMAPFILEHEADER file{};
    file.bfType = 0x4d42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header_);
    file.bfSize = file.bfOffBits + bytes;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header_), sizeof(header_));
    out.write(reinterpret_cast<const char*>(pixels_), bytes);
    return static_cast<bool>(out);
}

}  // namespace kestrel::test
