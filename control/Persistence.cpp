// Saving and loading the control's (empty) state.
#include "Persistence.h"

#include <kestrel_tlb.h>

#include "ComError.h"

namespace kestrel {

STDMETHODIMP Persistence::GetClassID(CLSID* clsid) {
    RETURN_HR_IF(E_POINTER, !clsid);
    *clsid = CLSID_RcxPilot;
    return S_OK;
}

STDMETHODIMP Persistence::IsDirty() {
    return S_FALSE;
}

// Loading and InitNew are not refused when repeated: with no state there is nothing to
// overwrite, and containers differ in which of the two interfaces they initialise through.
STDMETHODIMP Persistence::Load(IStream* stream) {
    RETURN_HR_IF(E_POINTER, !stream);
    return S_OK;
}

STDMETHODIMP Persistence::Save(IStream* stream, BOOL) {
    RETURN_HR_IF(E_POINTER, !stream);
    return S_OK;
}

STDMETHODIMP Persistence::GetSizeMax(ULARGE_INTEGER* size) {
    RETURN_HR_IF(E_POINTER, !size);
    size->QuadPart = 0;
    return S_OK;
}

STDMETHODIMP Persistence::InitNew() {
    return S_OK;
}

STDMETHODIMP Persistence::Load(IPropertyBag* bag, IErrorLog*) {
    RETURN_HR_IF(E_POINTER, !bag);
    return S_OK;
}

STDMETHODIMP Persistence::Save(IPropertyBag* bag, BOOL, BOOL) {
    RETURN_HR_IF(E_POINTER, !bag);
    return S_OK;
}

}  // namespace kestrel
