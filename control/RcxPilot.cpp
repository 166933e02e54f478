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
    using Cast = IUnknown* (*)(RcxPilot&);
    static const struct {
        const IID& iid;
        Cast cast;
    } kInterfaces[] = {
        {IID_IUnknown, [](RcxPilot& p) -> IUnknown* { return static_cast<_RcxPilot*>(&p); }},
        {IID_IDispatch, [](RcxPilot& p) -> IUnknown* { return static_cast<_RcxPilot*>(&p); }},
        {IID__RcxPilot, [](RcxPilot& p) -> IUnknown* { return static_cast<_RcxPilot*>(&p); }},
        {IID_ISupportErrorInfo,
         [](RcxPilot& p) -> IUnknown* { return static_cast<ISupportErrorInfo*>(&p); }},
        {IID_IOleObject,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IOleObject*>(&p.embedding_); }},
        {IID_IOleWindow,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IOleInPlaceObject*>(&p.embedding_); }},
        {IID_IOleInPlaceObject,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IOleInPlaceObject*>(&p.embedding_); }},
        {IID_IOleInPlaceActiveObject,
         [](RcxPilot& p) -> IUnknown* {
             return static_cast<IOleInPlaceActiveObject*>(&p.embedding_);
         }},
        {IID_IOleControl,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IOleControl*>(&p.embedding_); }},
        {IID_IViewObject,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IViewObject2*>(&p.embedding_); }},
        {IID_IViewObject2,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IViewObject2*>(&p.embedding_); }},
        {IID_IQuickActivate,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IQuickActivate*>(&p.embedding_); }},
        {IID_IPersist,
         [](RcxPilot& p) -> IUnknown* {
             return static_cast<IPersistStreamInit*>(&p.persistence_);
         }},
        {IID_IPersistStreamInit,
         [](RcxPilot& p) -> IUnknown* {
             return static_cast<IPersistStreamInit*>(&p.persistence_);
         }},
        {IID_IPersistPropertyBag,
         [](RcxPilot& p) -> IUnknown* {
             return static_cast<IPersistPropertyBag*>(&p.persistence_);
         }},
        {IID_IConnectionPointContainer,
         [](RcxPilot& p) -> IUnknown* {
             return static_cast<IConnectionPointContainer*>(&p.events_);
         }},
        {IID_IProvideClassInfo,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IProvideClassInfo2*>(&p.events_); }},
        {IID_IProvideClassInfo2,
         [](RcxPilot& p) -> IUnknown* { return static_cast<IProvideClassInfo2*>(&p.events_); }},
    };
    for (const auto& entry : kInterfaces) {
        if (entry.iid == iid) {
            IUnknown* found = entry.cast(*this);
            found->AddRef();
            *object = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) RcxPilot::AddRef() {
    return ++refs_;
}

STDMETHODIMP_(ULONG) RcxPilot::Release() {
    const ULONG left = --refs_;
    if (left == 0) {
        // The terminate handler runs in the destructor and may show a message box or reach the
        // container's sinks; a reference taken and dropped meanwhile must not delete again.
        refs_ = 1;
        delete this;
    }
    return left;
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
