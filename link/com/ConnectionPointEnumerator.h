// IEnumConnectionPoints over a link's one connection point, for containers that list the
// event interfaces of an object instead of asking for one.
#pragma once

#include <ocidl.h>

#include <atomic>

#include "ComPtr.h"
#include "Module.h"

namespace towerlink {

class ConnectionPointEnumerator final : public IEnumConnectionPoints {
public:
    // Takes a reference to `point`; starts at `position` (0 or 1).
    static HRESULT create(IConnectionPoint* point, ULONG position, IEnumConnectionPoints** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumConnectionPoints** copy) override;

private:
    ConnectionPointEnumerator(IConnectionPoint* point, ULONG position)
        : point_(point), position_(position) {}

    kestrel::module::Lifetime lifetime_;
    std::atomic<ULONG> refs_{1};
    kestrel::ComPtr<IConnectionPoint> point_;
    ULONG position_;
};

}  // namespace towerlink
