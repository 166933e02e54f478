// The connection point of an object's outgoing dispinterface: a list of advised sinks under
// cookies that are never reused, raised with fire(). The point lives inside its object and
// shares its count (a client holding the point keeps the object alive), but it answers
// QueryInterface as an object of its own, since a connection point is not the object.
#pragma once

#include <ocidl.h>

#include <utility>
#include <vector>

#include "ComObject.h"
#include "ComPtr.h"

namespace kestrel {

class ConnectionPoint final : public SharedIdentity<IConnectionPoint> {
public:
    // owner counts the references; container is what GetConnectionPointContainer hands out.
    ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, REFIID iid);
    ~ConnectionPoint() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    // The container's side, for an object with this one point.
    HRESULT find(REFIID iid, IConnectionPoint** point);
    HRESULT enumerate(IEnumConnectionPoints** points);

    // Calls event `id` on every sink with `args` in their natural order. A sink that fails is
    // not the caller's problem: its failure is ignored.
    void fire(DISPID id, std::vector<VARIANT> args);

    // Drops every sink (the owner is going away).
    void clear() { sinks_.clear(); }

private:
    IConnectionPointContainer& container_;
    IID iid_;
    DWORD lastCookie_ = 0;
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
};

}  // namespace kestrel
