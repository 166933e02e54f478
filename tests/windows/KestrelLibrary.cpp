// Loading Kestrel.ocx and calling it late-bound.
#include "KestrelLibrary.h"

#include <stdexcept>
#include <vector>

#include "ComError.h"

namespace kestrel::test {

namespace {

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(WINAPI*)();

template <typename Function>
Function exported(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

KestrelLibrary::KestrelLibrary() : module_(LoadLibraryW(L"Kestrel.ocx")) {
    if (!module_) throw std::runtime_error("Kestrel.ocx does not load");
}

KestrelLibrary::~KestrelLibrary() {
    FreeLibrary(module_);
}

HRESULT KestrelLibrary::create(ComPtr<_RcxPilot>& pilot) const {
    ComPtr<IClassFactory> factory;
    RETURN_IF_FAILED(exported<GetClassObject>(module_, "DllGetClassObject")(
        CLSID_RcxPilot, IID_IClassFactory, factory.putVoid()));
    return factory->CreateInstance(nullptr, IID__RcxPilot, pilot.putVoid());
}

ComPtr<_RcxPilot> KestrelLibrary::create() const {
    ComPtr<_RcxPilot> pilot;
    throwIfFailed(create(pilot));
    return pilot;
}

HRESULT KestrelLibrary::canUnloadNow() const {
    return exported<CanUnloadNow>(module_, "DllCanUnloadNow")();
}

HRESULT invoke(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args, VARIANT* result,
               EXCEPINFO* exception, UINT* argError, WORD flags) {
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::vector<VARIANT> rgvarg(reversed.rbegin(), reversed.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    EXCEPINFO local{};
    HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                exception ? exception : &local, argError);
    if (!exception) {
        SysFreeString(local.bstrDescription);
        SysFreeString(local.bstrSource);
        SysFreeString(local.bstrHelpFile);
    }
    return hr;
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

VARIANT byRef(VARIANT* target) {
    VARIANT v;
    V_VT(&v) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&v) = target;
    return v;
}

VARIANT missing() {
    VARIANT v;
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    return v;
}

void clear(std::initializer_list<VARIANT*> values) {
    for (VARIANT* v : values) VariantClear(v);
}

}  // namespace kestrel::test
