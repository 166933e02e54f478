// Enumeration of the single connection point.
#include "ConnectionPointEnumerator.h"

#include <new>

#include "ComError.h"

namespace towerlink {

HRESULT ConnectionPointEnumerator::create(IConnectionPoint* point, ULONG position,
                                          IEnumConnectionPoints** out) {
    RETURN_HR_IF(E_POINTER, !out);
    *out = nullptr;
    auto* created = new (std::nothrow) ConnectionPointEnumerator(point, position);
    RETURN_IF_NULL_ALLOC(created);
    *out = created;
    return S_OK;
}

STDMETHODIMP ConnectionPointEnumerator::QueryInterface(REFIID iid, void** object) {
    RETURN_HR_IF(E_POINTER, !object);
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IEnumConnectionPoints) {
        *object = static_cast<IEnumConnectionPoints*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ConnectionPointEnumerator::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP ConnectionPointEnumerator::Next(ULONG count, IConnectionPoint** points,
                                             ULONG* fetched) {
    RETURN_HR_IF(E_POINTER, !points);
    RETURN_HR_IF(E_INVALIDARG, count > 1 && !fetched);
    ULONG n = 0;
    if (count > 0 && position_ == 0) {
        points[0] = point_.get();
        points[0]->AddRef();
        position_ = 1;
        n = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP ConnectionPointEnumerator::Skip(ULONG count) {
    if (count == 0) return S_OK;
    const bool skipped = position_ == 0 && count == 1;
    position_ = 1;
    return skipped ? S_OK : S_FALSE;
}

STDMETHODIMP ConnectionPointEnumerator::Reset() {
    position_ = 0;
    return S_OK;
}

STDMETHODIMP ConnectionPointEnumerator::Clone(IEnumConnectionPoints** copy) {
    return create(point_.get(), position_, copy);
}

}  // namespace towerlink
