// Advising and unadvising sinks of one outgoing interface.
#include "ConnectionPoint.h"

#include <olectl.h>

#include <algorithm>

#include "ComError.h"
#include "Enumerator.h"

namespace kestrel {

namespace {

struct ConnectionTraits {
    static HRESULT copy(const CONNECTDATA& from, CONNECTDATA* to) {
        *to = from;
        if (to->pUnk) to->pUnk->AddRef();
        return S_OK;
    }
    static void clear(CONNECTDATA& item) {
        if (item.pUnk) item.pUnk->Release();
        item.pUnk = nullptr;
    }
};

using ConnectionEnumerator = Enumerator<IEnumConnections, CONNECTDATA, ConnectionTraits>;

}  // namespace

ConnectionPoint::ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, REFIID iid)
    : owner_(owner), container_(container), iid_(iid) {}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    RETURN_HR_IF(E_POINTER, !object);
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() {
    return owner_.AddRef();
}

STDMETHODIMP_(ULONG) ConnectionPoint::Release() {
    return owner_.Release();
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
    RETURN_HR_IF(E_POINTER, !iid);
    *iid = iid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    RETURN_HR_IF(E_POINTER, !container);
    container_.AddRef();
    *container = &container_;
    return S_OK;
}

// A sink must speak the outgoing interface. The interface is a dispinterface, and some sinks
// (script engines among them) answer only IDispatch for it; those are taken too.
STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    RETURN_HR_IF(E_POINTER, !cookie);
    *cookie = 0;
    RETURN_HR_IF(E_POINTER, !sink);
    ComPtr<IUnknown> held;
    if (FAILED(sink->QueryInterface(iid_, held.putVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, held.putVoid())))
        return CONNECT_E_CANNOTCONNECT;
    RETURN_HR_IF(CONNECT_E_ADVISELIMIT, lastCookie_ == MAXDWORD);
    try {
        sinks_.emplace_back(lastCookie_ + 1, std::move(held));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *cookie = ++lastCookie_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    auto found = std::find_if(sinks_.begin(), sinks_.end(),
                              [&](const auto& entry) { return entry.first == cookie; });
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, cookie == 0 || found == sinks_.end());
    // The sink is released after it has left the list, in case its release calls back.
    ComPtr<IUnknown> leaving = std::move(found->second);
    sinks_.erase(found);
    return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    RETURN_HR_IF(E_POINTER, !connections);
    *connections = nullptr;
    std::vector<CONNECTDATA> items;
    try {
        for (const auto& [cookie, sink] : sinks_) items.push_back({sink.get(), cookie});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return ConnectionEnumerator::create(IID_IEnumConnections, this, items, connections);
}

}  // namespace kestrel
