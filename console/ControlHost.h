// RcxPilot1's place on the form: an "AtlAxWin" window of atl.dll that creates the control by its
// program identifier and activates it in place.
#pragma once

#include <windows.h>
#include <kestrel_tlb.h>

#include <string>
#include <string_view>

#include "ComError.h"
#include "ComPtr.h"

namespace kestrel::console {

class ControlHost {
public:
    // Creates the host window as a child of parent with the given rectangle (pixels) and
    // identifier. The window exists even when the control cannot be created; failure() tells.
    ControlHost(HWND parent, const RECT& rect, int id, std::wstring_view progId);
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    HWND window() const { return window_; }
    // The control's automation interface, or null with failure() saying why.
    _RcxPilot* control() const { return control_.get(); }
    const ErrorDetails& failure() const { return failure_; }
    // Drops the reference before the host window goes, so that closing the window ends the
    // control (and with it the brick link).
    void release() { control_.reset(); }

private:
    void describeFailure(REFCLSID clsid, const std::wstring& progId, HRESULT hostResult);

    HWND window_ = nullptr;
    ComPtr<_RcxPilot> control_;
    ErrorDetails failure_;
};

}  // namespace kestrel::console
