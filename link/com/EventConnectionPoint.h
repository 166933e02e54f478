// The connection point of the brick link's events (_IBrickLinkEvents): keeps the sinks that
// clients advise and calls them when an event happens. It is part of its TowerLinkObject: its
// reference count is the owner's, so a client holding it keeps the whole link alive.
#pragma once

#include <ocidl.h>

#include <utility>
#include <vector>

#include "ComPtr.h"

namespace towerlink {

class EventConnectionPoint final : public IConnectionPoint {
public:
    // `owner` is the container whose count and identity this point shares.
    explicit EventConnectionPoint(IConnectionPointContainer* owner) : owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    // Calls event `id` on every sink with `args` in their natural order. A sink that fails is
    // not the caller's problem: its failure is ignored.
    void fire(DISPID id, std::vector<VARIANT> args);

    // Drops every sink (the owner is going away).
    void clear() { sinks_.clear(); }

private:
    IConnectionPointContainer* owner_;
    std::vector<std::pair<DWORD, kestrel::ComPtr<IDispatch>>> sinks_;
    DWORD nextCookie_ = 1;
};

}  // namespace towerlink
