// Reading the face of a control under test.
#include "ControlFixture.h"

#include <oleidl.h>

namespace kestrel::test {

namespace {

BOOL CALLBACK findFace(HWND window, LPARAM found) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"KestrelRcxPilotFace") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::wstring labelText(HWND face) {
    return windowText(FindWindowExW(face, nullptr, L"Static", nullptr));
}

}  // namespace

std::wstring threadFaceCaption() {
    HWND face = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findFace, reinterpret_cast<LPARAM>(&face));
    return face ? labelText(face) : L"<no face>";
}

std::wstring ControlTest::caption() {
    ComPtr<IOleWindow> face;
    if (FAILED(pilot_.queryInterface(IID_IOleWindow, face))) return L"<no face>";
    HWND window = nullptr;
    if (FAILED(face->GetWindow(&window))) return L"<no window>";
    return labelText(window);
}

}  // namespace kestrel::test
