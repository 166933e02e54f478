// One argument of a late-bound call, converted to its parameter's type. A caller's variable
// passed by reference with the parameter's own type is handed to the method directly, and one
// passed as a by-reference variant gets what the method wrote; every other value becomes a
// temporary, so that what the method writes does not reach the caller.
#pragma once

#include <oaidl.h>

#include "Variant.h"

namespace kestrel {

enum class ParamType : VARTYPE {
    Short = VT_I2,
    Long = VT_I4,
    Bool = VT_BOOL,
    String = VT_BSTR,
    Variant = VT_VARIANT,
};

class DispatchArgument {
public:
    // Returns a failure (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, ...) when the value does not
    // convert.
    HRESULT bind(ParamType type, VARIANT* source);
    // An optional parameter the caller left out: 0 for numbers, a missing value for a variant.
    void bindMissing(ParamType type);

    short* asShort() { return static_cast<short*>(target_); }
    LONG* asLong() { return static_cast<LONG*>(target_); }
    VARIANT_BOOL* asBool() { return static_cast<VARIANT_BOOL*>(target_); }
    BSTR* asString() { return static_cast<BSTR*>(target_); }
    VARIANT* asVariant() { return static_cast<VARIANT*>(target_); }

    // After a successful call: what the method changed goes back to a by-reference variant.
    void writeBack();

private:
    ParamType type_ = ParamType::Variant;
    Variant temporary_;
    Variant original_;
    VARIANT* byRefVariant_ = nullptr;
    void* target_ = nullptr;
};

}  // namespace kestrel
