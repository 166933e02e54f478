// Advise, Unadvise and raising events.
#include "EventConnectionPoint.h"

#include <olectl.h>

#include <algorithm>

#include "ComError.h"
#include "IBrickLink.h"

namespace towerlink {

STDMETHODIMP EventConnectionPoint::QueryInterface(REFIID iid, void** object) {
    RETURN_HR_IF(E_POINTER, !object);
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP EventConnectionPoint::GetConnectionInterface(IID* iid) {
    RETURN_HR_IF(E_POINTER, !iid);
    *iid = DIID__IBrickLinkEvents;
    return S_OK;
}

STDMETHODIMP EventConnectionPoint::GetConnectionPointContainer(
    IConnectionPointContainer** container) {
    RETURN_HR_IF(E_POINTER, !container);
    *container = owner_;
    owner_->AddRef();
    return S_OK;
}

STDMETHODIMP EventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    RETURN_HR_IF(E_POINTER, !cookie);
    *cookie = 0;
    RETURN_HR_IF(E_POINTER, !sink);
    kestrel::ComPtr<IDispatch> events;
    // A sink must speak the event interface; plain IDispatch is what script hosts offer.
    if (FAILED(sink->QueryInterface(DIID__IBrickLinkEvents, events.putVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, events.putVoid()))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    try {
        sinks_.emplace_back(nextCookie_, std::move(events));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *cookie = nextCookie_++;
    return S_OK;
}

STDMETHODIMP EventConnectionPoint::Unadvise(DWORD cookie) {
    auto it = std::find_if(sinks_.begin(), sinks_.end(),
                           [&](const auto& entry) { return entry.first == cookie; });
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, it == sinks_.end());
    // Released after the list is consistent again: the sink's Release may call back.
    kestrel::ComPtr<IDispatch> released = std::move(it->second);
    sinks_.erase(it);
    return S_OK;
}

STDMETHODIMP EventConnectionPoint::EnumConnections(IEnumConnections** connections) {
    RETURN_HR_IF(E_POINTER, !connections);
    *connections = nullptr;
    return E_NOTIMPL;
}

void EventConnectionPoint::fire(DISPID id, std::vector<VARIANT> args) {
    std::reverse(args.begin(), args.end());
    // A copy: a sink may advise or unadvise from inside its handler.
    std::vector<kestrel::ComPtr<IDispatch>> targets;
    for (const auto& entry : sinks_) targets.push_back(entry.second);
    for (const auto& target : targets) {
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                       nullptr, nullptr);
    }
}

}  // namespace towerlink
