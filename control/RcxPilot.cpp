// RcxPilot's identity and lifetime, its Port property, and its creation and destruction.
#include "RcxPilot.h"

#include <new>

namespace kestrel {

HRESULT RcxPilot::create(REFIID iid, void** object) {
    RETURN_HR_IF(E_POINTER, !object);
    *object = nullptr;
    auto* pilot = new (std::nothrow) RcxPilot;
    RETURN_IF_NULL_ALLOC(pilot);
    // The link comes first: without it there is no control at all.
    try {
        pilot->vpb_ = std::make_unique<BrickLink>();
        pilot->port_ = Bstr(L"");
    } catch (...) {
        const HRESULT hr = hresultFromCaughtException(IID__RcxPilot, L"kestrel");
        pilot->terminated_ = true;
        pilot->Release();
        return hr;
    }
    pilot->initialize();
    const HRESULT hr = pilot->QueryInterface(iid, object);
    pilot->Release();
    return hr;
}

RcxPilot::~RcxPilot() {
    terminate();
}

STDMETHODIMP RcxPilot::QueryInterface(REFIID iid, void** object) {
    RETURN_HR_IF(E_POINTER, !object);
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__RcxPilot)
        *object = static_cast<_RcxPilot*>(this);
    else if (iid == IID_ISupportErrorInfo)
        *object = static_cast<ISupportErrorInfo*>(this);
    else if (iid == IID_IOleWindow)
        *object = static_cast<IOleWindow*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) RcxPilot::AddRef() {
    return ++refs_;
}

STDMETHODIMP_(ULONG) RcxPilot::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP RcxPilot::GetWindow(HWND* window) {
    RETURN_HR_IF(E_POINTER, !window);
    *window = face_.window();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP RcxPilot::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP RcxPilot::get_Port(BSTR* value) {
    RETURN_HR_IF(E_POINTER, !value);
    *value = nullptr;
    return guarded([&] { *value = Bstr(port_.view()).release(); });
}

// Only the start-up steps read Port: a new value is stored, and the link is not reopened.
STDMETHODIMP RcxPilot::put_Port(BSTR value) {
    return guarded([&] { port_ = Bstr::copyOf(value); });
}

}  // namespace kestrel
