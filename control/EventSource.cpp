// The control's default source and its type information.
#include "EventSource.h"

#include <kestrel_tlb.h>
#include <olectl.h>

#include "Automation.h"
#include "ComError.h"

namespace kestrel {

EventSource::EventSource(IUnknown& owner)
    : SharedIdentity(owner), source_(owner, *this, DIID___RcxPilot) {}

STDMETHODIMP EventSource::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return source_.enumerate(points);
}

STDMETHODIMP EventSource::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return source_.find(iid, point);
}

STDMETHODIMP EventSource::GetClassInfo(ITypeInfo** info) {
    RETURN_HR_IF(E_POINTER, !info);
    *info = nullptr;
    static constexpr Boundary kBoundary{&IID_IProvideClassInfo, L"kestrel"};
    return atBoundary(kBoundary, [&] { *info = automation::classInfo().release(); });
}

STDMETHODIMP EventSource::GetGUID(DWORD kind, GUID* guid) {
    RETURN_HR_IF(E_POINTER, !guid);
    *guid = GUID_NULL;
    RETURN_HR_IF(E_INVALIDARG, kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID);
    *guid = DIID___RcxPilot;
    return S_OK;
}

}  // namespace kestrel
