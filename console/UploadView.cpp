// Reading the datalog table element by element, whatever the element type of the array.
#include "UploadView.h"

#include <cmath>
#include <cwchar>

#include "ConsoleText.h"
#include "FormLayout.h"
#include "RunTimeErrors.h"
#include "Variant.h"

namespace kestrel::console {

namespace {

[[noreturn]] void typeMismatch() {
    throw ComError(DISP_E_TYPEMISMATCH, L"Type mismatch");
}

std::wstring valueText(const VARIANT& value) {
    if (V_VT(&value) == VT_EMPTY) return numberText(0);
    Variant number;
    if (FAILED(VariantChangeTypeEx(number.get(), const_cast<VARIANT*>(&value), LOCALE_INVARIANT, 0,
                                   VT_R8)))
        typeMismatch();
    const double d = V_R8(number.get());
    if (std::nearbyint(d) == d && std::fabs(d) < 1e15) return numberText(static_cast<int64_t>(d));
    wchar_t text[40];
    std::swprintf(text, 40, d < 0 ? L"%.15g" : L" %.15g", d);
    return text;
}

bool hasPlainElements(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BOOL:
        case VT_BSTR: return true;
        default: return false;
    }
}

// One element as a variant of its own, copied out of the array.
Variant element(SAFEARRAY* array, VARTYPE type, LONG field, LONG entry) {
    LONG indices[2] = {field, entry};
    Variant value;
    HRESULT hr;
    if (type == VT_VARIANT) {
        hr = SafeArrayGetElement(array, indices, value.get());
    } else if (hasPlainElements(type)) {
        V_VT(value.get()) = type;
        hr = SafeArrayGetElement(array, indices, &V_UI1(value.get()));
        if (FAILED(hr)) V_VT(value.get()) = VT_EMPTY;
    } else {
        typeMismatch();
    }
    if (hr == DISP_E_BADINDEX) throwSubscriptOutOfRange();
    throwIfFailed(hr);
    return value;
}

}  // namespace

std::wstring datalogLine(const VARIANT& type, const VARIANT& low, const VARIANT& high) {
    return L"Type: " + valueText(type) + L" LoByt: " + valueText(low) + L" HiByt: " +
           valueText(high);
}

void showDatalog(HWND list, HWND owner, const VARIANT& table) {
    const VARTYPE vt = V_VT(&table);
    if (!(vt & VT_ARRAY)) {
        MessageBoxW(owner, L"Upload not a valid array", kFormTitle, MB_OK);
        return;
    }
    SAFEARRAY* array =
        (vt & VT_BYREF) ? (V_ARRAYREF(&table) ? *V_ARRAYREF(&table) : nullptr) : V_ARRAY(&table);
    // An array variable that holds no array yet has no bounds to read.
    if (!array || SafeArrayGetDim(array) != 2) throwSubscriptOutOfRange();
    VARTYPE type = VT_EMPTY;
    throwIfFailed(SafeArrayGetVartype(array, &type));

    LONG firstField = 0, lastField = 0, lower = 0, upper = 0;
    throwIfFailed(SafeArrayGetLBound(array, 1, &firstField));
    throwIfFailed(SafeArrayGetUBound(array, 1, &lastField));
    throwIfFailed(SafeArrayGetLBound(array, 2, &lower));
    throwIfFailed(SafeArrayGetUBound(array, 2, &upper));
    const long long first = static_cast<long long>(lower) + 1;
    const long long last = static_cast<long long>(upper) - 1;
    if (first <= last && (firstField > 0 || lastField < 2)) throwSubscriptOutOfRange();

    for (long long i = first; i <= last; ++i) {
        const LONG entry = static_cast<LONG>(i);
        const Variant typeByte = element(array, type, 0, entry);
        const Variant lowByte = element(array, type, 1, entry);
        const Variant highByte = element(array, type, 2, entry);
        const std::wstring line = datalogLine(*typeByte.get(), *lowByte.get(), *highByte.get());
        if (SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str())) < 0)
            throw ComError(E_OUTOFMEMORY, L"Out of memory");
    }
}

}  // namespace kestrel::console
