// Loading Kestrel.ocx and calling it late-bound.
#include "KestrelLibrary.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "ComError.h"
#include "Variant.h"

namespace kestrel::test {

HRESULT KestrelLibrary::create(ComPtr<_RcxPilot>& pilot) const {
    ComPtr<IClassFactory> factory;
    RETURN_IF_FAILED(classFactory(CLSID_RcxPilot, factory));
    return factory->CreateInstance(nullptr, IID__RcxPilot, pilot.putVoid());
}

ComPtr<_RcxPilot> KestrelLibrary::create() const {
    ComPtr<_RcxPilot> pilot;
    throwIfFailed(create(pilot));
    return pilot;
}

HRESULT invoke(IDispatch* target, DISPID id, const std::vector<VARIANT>& args, VARIANT* result,
               EXCEPINFO* exception, UINT* argError) {
    std::vector<VARIANT> rgvarg(std::rbegin(args), std::rend(args));
    DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
    ExcepInfo local;
    return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                          exception ? exception : &local, argError);
}

VARIANT text(const wchar_t* value) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(value);
    return v;
}

VARIANT i2(short value) {
    VARIANT v;
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    return v;
}

VARIANT i4(long value) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

namespace {

VARIANT reference(VARTYPE type, void* target) {
    VARIANT v;
    V_VT(&v) = type | VT_BYREF;
    V_BYREF(&v) = target;
    return v;
}

}  // namespace

VARIANT byRef(VARIANT* target) {
    return reference(VT_VARIANT, target);
}

VARIANT byRef(short& target) {
    return reference(VT_I2, &target);
}

VARIANT byRef(long& target) {
    return reference(VT_I4, &target);
}

void clear(std::initializer_list<VARIANT*> values) {
    for (VARIANT* v : values) VariantClear(v);
}

std::vector<std::vector<int>> datalogEntries(const VARIANT* table) {
    std::vector<std::vector<int>> rows;
    EXPECT_EQ((VT_ARRAY | VT_VARIANT), V_VT(table));
    if (V_VT(table) != (VT_ARRAY | VT_VARIANT)) return rows;
    SAFEARRAY* entries = V_ARRAY(table);
    LONG lastElement = -1, lastEntry = -1;
    EXPECT_EQ(2u, SafeArrayGetDim(entries));
    SafeArrayGetUBound(entries, 1, &lastElement);
    SafeArrayGetUBound(entries, 2, &lastEntry);
    EXPECT_EQ(2, lastElement);
    for (LONG index[2] = {0, 0}; index[1] <= lastEntry; ++index[1]) {
        rows.emplace_back();
        for (index[0] = 0; index[0] < 3; ++index[0]) {
            Variant v;
            EXPECT_HRESULT_SUCCEEDED(SafeArrayGetElement(entries, index, v.get()));
            EXPECT_TRUE(v.type() == VT_EMPTY || v.type() == VT_UI1);
            rows.back().push_back(v.type() == VT_UI1 ? V_UI1(v.get()) : -1);
        }
    }
    return rows;
}

std::map<int, GUID> implementedBy(ITypeInfo* coclass) {
    std::map<int, GUID> implemented;
    for (UINT i = 0; i < TypeAttr(coclass)->cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> type;
        throwIfFailed(coclass->GetImplTypeFlags(i, &flags));
        throwIfFailed(coclass->GetRefTypeOfImplType(i, &reference));
        throwIfFailed(coclass->GetRefTypeInfo(reference, type.put()));
        implemented[flags] = TypeAttr(type.get())->guid;
    }
    return implemented;
}

}  // namespace kestrel::test
