// Reading the face of a control under test.
#include "ControlFixture.h"

#include <oleidl.h>

namespace kestrel::test {

std::wstring ControlTest::caption() {
    ComPtr<IOleWindow> face;
    if (FAILED(pilot_.queryInterface(IID_IOleWindow, face))) return L"<no face>";
    HWND window = nullptr;
    if (FAILED(face->GetWindow(&window))) return L"<no window>";
    HWND label = FindWindowExW(window, nullptr, L"Static", nullptr);
    wchar_t text[4096] = {};
    GetWindowTextW(label, text, 4096);
    return text;
}

}  // namespace kestrel::test
