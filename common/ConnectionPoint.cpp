// Advising, unadvising, listing and raising the sinks of one outgoing interface.
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

using ConnectionEnumerator =
    Enumerator<IEnumConnections, IID_IEnumConnections, CONNECTDATA, ConnectionTraits>;
using PointEnumerator = Enumerator<IEnumConnectionPoints, IID_IEnumConnectionPoints,
                                   IConnectionPoint*, InterfaceItemTraits<IConnectionPoint>>;

}  // namespace

ConnectionPoint::ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, REFIID iid)
    : SharedIdentity(owner), container_(container), iid_(iid) {}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    static const InterfaceEntry<ConnectionPoint> table[] = {
        inherited<ConnectionPoint, IConnectionPoint>(IID_IUnknown),
        inherited<ConnectionPoint, IConnectionPoint>(IID_IConnectionPoint),
    };
    return queryTable<ConnectionPoint>(*this, table, iid, object);
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
    ComPtr<IDispatch> held;
    if (FAILED(sink->QueryInterface(iid_, held.putVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, held.putVoid())))
        return CONNECT_E_CANNOTCONNECT;
    RETURN_HR_IF(CONNECT_E_ADVISELIMIT, lastCookie_ == MAXDWORD);
    try {
        sinks_.emplace_back(lastCookie_ + 1, std::move(held));
    } catch (...) {
        return caughtHresult();
    }
    *cookie = ++lastCookie_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    auto found = std::find_if(sinks_.begin(), sinks_.end(),
                              [&](const auto& entry) { return entry.first == cookie; });
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, cookie == 0 || found == sinks_.end());
    // The sink is released after it has left the list, in case its release calls back.
    ComPtr<IDispatch> leaving = std::move(found->second);
    sinks_.erase(found);
    return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    RETURN_HR_IF(E_POINTER, !connections);
    *connections = nullptr;
    try {
        std::vector<CONNECTDATA> items;
        for (const auto& [cookie, sink] : sinks_) items.push_back({sink.get(), cookie});
        return ConnectionEnumerator::create(this, items, connections);
    } catch (...) {
        return caughtHresult();
    }
}

HRESULT ConnectionPoint::find(REFIID iid, IConnectionPoint** point) {
    RETURN_HR_IF(E_POINTER, !point);
    *point = nullptr;
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, iid != iid_);
    AddRef();
    *point = this;
    return S_OK;
}

HRESULT ConnectionPoint::enumerate(IEnumConnectionPoints** points) {
    RETURN_HR_IF(E_POINTER, !points);
    *points = nullptr;
    IConnectionPoint* const items[] = {this};
    return PointEnumerator::create(&container_, items, points);
}

void ConnectionPoint::fire(DISPID id, std::vector<VARIANT> args) {
    std::reverse(args.begin(), args.end());
    // A copy: a sink may advise or unadvise from inside its handler.
    std::vector<ComPtr<IDispatch>> targets;
    for (const auto& entry : sinks_) targets.push_back(entry.second);
    for (const auto& target : targets) {
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                       nullptr, nullptr);
    }
}

}  // namespace kestrel
