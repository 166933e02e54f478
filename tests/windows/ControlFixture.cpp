// Reading the face of a control under test.
#include "ControlFixture.h"

namespace kestrel::test {

namespace {

BOOL CALLBACK findFace(HWND window, LPARAM found) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"KestrelRcxPilotFace") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

std::wstring threadFaceCaption() {
    HWND face = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findFace, reinterpret_cast<LPARAM>(&face));
    return face ? windowText(FindWindowExW(face, nullptr, L"Static", nullptr)) : L"<no face>";
}

}  // namespace kestrel::test
