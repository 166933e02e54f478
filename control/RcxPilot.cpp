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
        pilot->brickLink_ = std::make_unique<BrickLink>();
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
        partOf<RcxPilot, &RcxPilot::embedding_, IOleObject>(IID_IOleObject),
        partOf<RcxPilot, &RcxPilot::embedding_, IOleInPlaceObject>(IID_IOleWindow),
        partOf<RcxPilot, &RcxPilot::embedding_, IOleInPlaceObject>(IID_IOleInPlaceObject),
        partOf<RcxPilot, &RcxPilot::embedding_, IOleInPlaceActiveObject>(
            IID_IOleInPlaceActiveObject),
        partOf<RcxPilot, &RcxPilot::embedding_, IOleControl>(IID_IOleControl),
        partOf<RcxPilot, &RcxPilot::embedding_, IViewObject2>(IID_IViewObject),
        partOf<RcxPilot, &RcxPilot::embedding_, IViewObject2>(IID_IViewObject2),
        partOf<RcxPilot, &RcxPilot::embedding_, IQuickActivate>(IID_IQuickActivate),
        partOf<RcxPilot, &RcxPilot::persistence_, IPersistStreamInit>(IID_IPersist),
        partOf<RcxPilot, &RcxPilot::persistence_, IPersistStreamInit>(IID_IPersistStreamInit),
        partOf<RcxPilot, &RcxPilot::persistence_, IPersistPropertyBag>(IID_IPersistPropertyBag),
        partOf<RcxPilot, &RcxPilot::events_, IConnectionPointContainer>(
            IID_IConnectionPointContainer),
        partOf<RcxPilot, &RcxPilot::events_, IProvideClassInfo2>(IID_IProvideClassInfo),
        partOf<RcxPilot, &RcxPilot::events_, IProvideClassInfo2>(IID_IProvideClassInfo2),
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
