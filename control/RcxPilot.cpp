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
        const HRESULT hr = reportCaughtException(kBoundary);
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

// The embedding, persistence and event interfaces are those of the helper objects.
std::span<const InterfaceEntry<RcxPilot>> RcxPilot::interfaces() {
    using Entry = InterfaceEntry<RcxPilot>;
    static const Entry table[] = {
        inherited<RcxPilot, _RcxPilot>(IID_IUnknown),
        inherited<RcxPilot, _RcxPilot>(IID_IDispatch),
        inherited<RcxPilot, _RcxPilot>(IID__RcxPilot),
        inherited<RcxPilot, ISupportErrorInfo>(IID_ISupportErrorInfo),
        {&IID_IOleObject, [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IOleObject>(); }},
        {&IID_IOleWindow,
         [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IOleInPlaceObject>(); }},
        {&IID_IOleInPlaceObject,
         [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IOleInPlaceObject>(); }},
        {&IID_IOleInPlaceActiveObject,
         [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IOleInPlaceActiveObject>(); }},
        {&IID_IOleControl, [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IOleControl>(); }},
        {&IID_IViewObject,
         [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IViewObject2>(); }},
        {&IID_IViewObject2,
         [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IViewObject2>(); }},
        {&IID_IQuickActivate,
         [](RcxPilot& p) -> IUnknown* { return p.embedding_.as<IQuickActivate>(); }},
        {&IID_IPersist,
         [](RcxPilot& p) -> IUnknown* { return p.persistence_.as<IPersistStreamInit>(); }},
        {&IID_IPersistStreamInit,
         [](RcxPilot& p) -> IUnknown* { return p.persistence_.as<IPersistStreamInit>(); }},
        {&IID_IPersistPropertyBag,
         [](RcxPilot& p) -> IUnknown* { return p.persistence_.as<IPersistPropertyBag>(); }},
        {&IID_IConnectionPointContainer,
         [](RcxPilot& p) -> IUnknown* { return p.events_.as<IConnectionPointContainer>(); }},
        {&IID_IProvideClassInfo,
         [](RcxPilot& p) -> IUnknown* { return p.events_.as<IProvideClassInfo2>(); }},
        {&IID_IProvideClassInfo2,
         [](RcxPilot& p) -> IUnknown* { return p.events_.as<IProvideClassInfo2>(); }},
    };
    return table;
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
