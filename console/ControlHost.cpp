// Hosting through atl.dll keeps the console free of a container implementation of its own; the
// library is loaded at run time because mingw-w64 ships no import library for it.
#include "ControlHost.h"

#include <string>

#include "ProcAddress.h"

namespace kestrel::console {

namespace {

using AtlAxWinInitFunction = BOOL(WINAPI*)();
using AtlAxGetControlFunction = HRESULT(WINAPI*)(HWND, IUnknown**);

constexpr wchar_t kHostClass[] = L"AtlAxWin";

// atl.dll stays loaded for the life of the process: its window class serves every host window,
// and unloading it under a live one would leave a dangling window procedure.
HMODULE atlLibrary() {
    static HMODULE library = LoadLibraryW(L"atl.dll");
    return library;
}

ErrorDetails lastError(const wchar_t* what) {
    const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    ErrorDetails details = takeErrorInfo(FAILED(hr) ? hr : E_FAIL);
    details.description = std::wstring(what) + L": " + details.description;
    return details;
}

}  // namespace

ControlHost::ControlHost(HWND parent, const RECT& rect, int id, std::wstring_view progId) {
    HMODULE atl = atlLibrary();
    auto init = procAddress<AtlAxWinInitFunction>(atl, "AtlAxWinInit");
    auto getControl = procAddress<AtlAxGetControlFunction>(atl, "AtlAxGetControl");
    // atl.dll registers its window class once per process and refuses a second time.
    static const bool initialized =
        init && (init() || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
    if (!getControl || !initialized) {
        failure_ = lastError(L"The control host atl.dll is not available");
        return;
    }

    // Checked first, because the host window swallows the reason when it cannot create a control.
    const std::wstring progIdText(progId);
    CLSID clsid{};
    if (const HRESULT hr = CLSIDFromProgID(progIdText.c_str(), &clsid); FAILED(hr)) {
        failure_ = takeErrorInfo(hr);
        failure_.description =
            progIdText + L" (Kestrel.ocx) is not registered: " + failure_.description;
        return;
    }

    window_ = CreateWindowExW(
        0, kHostClass, progIdText.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect.left,
        rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!window_) {
        failure_ = lastError(L"The control's host window could not be made");
        return;
    }
    ComPtr<IUnknown> unknown;
    HRESULT hr = getControl(window_, unknown.put());
    if (SUCCEEDED(hr) && !unknown) hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = unknown.queryInterface(IID__RcxPilot, control_);
    if (FAILED(hr)) describeFailure(clsid, progIdText, hr);
}

// The host window tells only that it has no control. Creating the class directly tells whether
// the control itself fails (and why), or only its activation in the window.
void ControlHost::describeFailure(REFCLSID clsid, const std::wstring& progId, HRESULT hostResult) {
    ComPtr<IUnknown> probe;
    SetErrorInfo(0, nullptr);
    if (const HRESULT hr =
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, probe.putVoid());
        FAILED(hr)) {
        failure_ = takeErrorInfo(hr);
        if (hr == REGDB_E_CLASSNOTREG)
            failure_.description =
                L"Kestrel.ocx, or a class it needs such as the brick link "
                L"TowerLink.dll, is not registered";
        failure_.description = progId + L" could not be created: " + failure_.description;
        return;
    }
    probe.reset();
    failure_ = takeErrorInfo(hostResult);
    failure_.description = progId + L" could not be activated on the form: " + failure_.description;
}

}  // namespace kestrel::console
