// The control's default source and its type information.
#include "EventSource.h"

#include <kestrel_tlb.h>
#include <olectl.h>

#include "Automation.h"
#include "ComError.h"
#include "Enumerator.h"

namespace kestrel {

namespace {

struct PointTraits {
    static HRESULT copy(IConnectionPoint* const& from, IConnectionPoint** to) {
        *to = from;
        if (from) from->AddRef();
        return S_OK;
    }
    static void clear(IConnectionPoint*& item) {
        if (item) item->Release();
        item = nullptr;
    }
};

using PointEnumerator = Enumerator<IEnumConnectionPoints, IConnectionPoint*, PointTraits>;

}  // namespace

EventSource::EventSource(IUnknown& owner) : owner_(owner), source_(owner, *this, DIID___RcxPilot) {}

STDMETHODIMP EventSource::QueryInterface(REFIID iid, void** object) {
    return owner_.QueryInterface(iid, object);
}

STDMETHODIMP_(ULONG) EventSource::AddRef() {
    return owner_.AddRef();
}

STDMETHODIMP_(ULONG) EventSource::Release() {
    return owner_.Release();
}

STDMETHODIMP EventSource::EnumConnectionPoints(IEnumConnectionPoints** points) {
    RETURN_HR_IF(E_POINTER, !points);
    *points = nullptr;
    try {
        const std::vector<IConnectionPoint*> items{&source_};
        return PointEnumerator::create(IID_IEnumConnectionPoints,
                                       static_cast<IConnectionPointContainer*>(this), items,
                                       points);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP EventSource::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    RETURN_HR_IF(E_POINTER, !point);
    *point = nullptr;
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, iid != DIID___RcxPilot);
    source_.AddRef();
    *point = &source_;
    return S_OK;
}

STDMETHODIMP EventSource::GetClassInfo(ITypeInfo** info) {
    RETURN_HR_IF(E_POINTER, !info);
    *info = nullptr;
    try {
        *info = automation::classInfo().release();
        return S_OK;
    } catch (...) {
        return hresultFromCaughtException(IID_IProvideClassInfo, L"kestrel");
    }
}

STDMETHODIMP EventSource::GetGUID(DWORD kind, GUID* guid) {
    RETURN_HR_IF(E_POINTER, !guid);
    *guid = GUID_NULL;
    RETURN_HR_IF(E_INVALIDARG, kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID);
    *guid = DIID___RcxPilot;
    return S_OK;
}

}  // namespace kestrel
