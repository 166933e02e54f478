// Conversion of late-bound arguments to the parameter types of _RcxPilot.
#include "DispatchArgument.h"

namespace kestrel {

namespace {

VARTYPE varType(ParamType type) {
    return static_cast<VARTYPE>(type);
}

void* valueAddress(VARIANT* v) {
    switch (V_VT(v)) {
        case VT_I2: return &V_I2(v);
        case VT_I4: return &V_I4(v);
        case VT_BOOL: return &V_BOOL(v);
        case VT_BSTR: return &V_BSTR(v);
        default: return v;
    }
}

}  // namespace

HRESULT DispatchArgument::bind(ParamType type, VARIANT* source) {
    type_ = type;
    const VARTYPE wanted = varType(type);
    if (type == ParamType::Variant) {
        if (V_VT(source) == (VT_VARIANT | VT_BYREF)) {
            target_ = V_VARIANTREF(source);
            return S_OK;
        }
        const HRESULT hr = VariantCopyInd(temporary_.get(), source);
        if (FAILED(hr)) return hr;
        target_ = temporary_.get();
        return S_OK;
    }
    if (V_VT(source) == (wanted | VT_BYREF)) {
        target_ = V_BYREF(source);
        return S_OK;
    }
    const VARIANT* value = source;
    if (V_VT(source) == (VT_VARIANT | VT_BYREF)) {
        byRefVariant_ = V_VARIANTREF(source);
        value = byRefVariant_;
    }
    Variant plain;
    HRESULT hr = VariantCopyInd(plain.get(), const_cast<VARIANT*>(value));
    if (FAILED(hr)) return hr;
    // A value that is absent cannot stand for a required number or text.
    if (plain.type() == VT_ERROR || plain.type() == VT_NULL) return DISP_E_TYPEMISMATCH;
    hr = VariantChangeType(temporary_.get(), plain.get(), 0, wanted);
    if (FAILED(hr)) return hr;
    if (byRefVariant_) {
        hr = VariantCopy(original_.get(), temporary_.get());
        if (FAILED(hr)) return hr;
    }
    target_ = valueAddress(temporary_.get());
    return S_OK;
}

void DispatchArgument::bindMissing(ParamType type) {
    type_ = type;
    VARIANT* v = temporary_.put();
    switch (type) {
        case ParamType::Variant:
            V_VT(v) = VT_ERROR;
            V_ERROR(v) = DISP_E_PARAMNOTFOUND;
            break;
        case ParamType::String:
            V_VT(v) = VT_BSTR;
            V_BSTR(v) = nullptr;
            break;
        default:
            V_VT(v) = varType(type);
            V_I4(v) = 0;
            break;
    }
    target_ = valueAddress(v);
}

void DispatchArgument::writeBack() {
    if (!byRefVariant_) return;
    if (VarCmp(temporary_.get(), original_.get(), LOCALE_USER_DEFAULT, 0) == VARCMP_EQ) return;
    VariantCopy(byRefVariant_, temporary_.get());
}

}  // namespace kestrel
