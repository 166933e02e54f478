// One outgoing interface of the control as containers connect to it: a list of advised sinks
// under cookies that are never reused. The point lives inside the control and shares its
// lifetime (AddRef and Release go to the control), but it answers QueryInterface as an object
// of its own, since a connection point is not the control.
#pragma once

#include <ocidl.h>

#include <utility>
#include <vector>

#include "ComPtr.h"

namespace kestrel {

class ConnectionPoint final : public IConnectionPoint {
public:
    // owner counts the references; container is what GetConnectionPointContainer hands out.
    ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, REFIID iid);
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    size_t connectionCount() const { return sinks_.size(); }

private:
    IUnknown& owner_;
    IConnectionPointContainer& container_;
    IID iid_;
    DWORD lastCookie_ = 0;
    std::vector<std::pair<DWORD, ComPtr<IUnknown>>> sinks_;
};

}  // namespace kestrel
