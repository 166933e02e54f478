// RcxPilot's IDispatch: names through the type library, calls through one table of methods and
// our own argument conversion (the system's DispInvoke does not convert the by-reference
// variants that script clients pass on every platform).
#include "Automation.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <mutex>

#include "ComPtr.h"
#include "DispatchArgument.h"
#include "RcxPilot.h"

namespace kestrel::automation {

namespace {

// Controls on different threads may ask for the type information at the same time.
std::mutex g_lock;
ComPtr<ITypeLib> g_library;
ComPtr<ITypeInfo> g_interface;
ComPtr<ITypeInfo> g_class;

ITypeLib* loadedLibrary() {
    if (!g_library)
        throwIfFailed(LoadTypeLibEx(module::path().c_str(), REGKIND_NONE, g_library.put()));
    return g_library.get();
}

ComPtr<ITypeInfo> cachedInfo(ComPtr<ITypeInfo>& cache, REFGUID guid) {
    const std::lock_guard<std::mutex> hold(g_lock);
    if (!cache) throwIfFailed(loadedLibrary()->GetTypeInfoOfGuid(guid, cache.put()));
    return cache;
}

}  // namespace

ComPtr<ITypeInfo> interfaceInfo() {
    return cachedInfo(g_interface, IID__RcxPilot);
}

ComPtr<ITypeInfo> classInfo() {
    return cachedInfo(g_class, CLSID_RcxPilot);
}

void releaseTypeInfo() {
    // Taken out under the lock, released after it: other threads only ever hold references.
    ComPtr<ITypeInfo> classInfo;
    ComPtr<ITypeInfo> interfaceInfo;
    ComPtr<ITypeLib> library;
    {
        const std::lock_guard<std::mutex> hold(g_lock);
        std::swap(classInfo, g_class);
        std::swap(interfaceInfo, g_interface);
        std::swap(library, g_library);
    }
}

}  // namespace kestrel::automation

namespace kestrel {

namespace {

using Arguments = std::array<DispatchArgument, 5>;

// One method of _RcxPilot: its parameter types, how many are required, the type of its result
// ('\0' for none), and the call itself, which writes the result into `r`.
struct Method {
    DISPID id;
    const char* params;
    int required;
    char result;
    HRESULT (*call)(RcxPilot& self, Arguments& a, VARIANT* r);
};

// The methods whose parameters are all 16-bit numbers and that return nothing.
template <auto method, int count>
HRESULT shorts(RcxPilot& self, Arguments& a, VARIANT*) {
    if constexpr (count == 1) return (self.*method)(a[0].asShort());
    if constexpr (count == 2) return (self.*method)(a[0].asShort(), a[1].asShort());
    if constexpr (count == 3) return (self.*method)(a[0].asShort(), a[1].asShort(), a[2].asShort());
}

// The methods without parameters that answer True or False.
template <auto method>
HRESULT truth(RcxPilot& self, Arguments&, VARIANT* r) {
    V_VT(r) = VT_BOOL;
    return (self.*method)(&V_BOOL(r));
}

constexpr auto kMethods = std::to_array<Method>({
    {DISPID_RCX_EXECUTE, "sbllv", 2, 0,
     [](RcxPilot& self, Arguments& a, VARIANT*) {
         return self.Execute(a[0].asString(), a[1].asBool(), a[2].asLong(), a[3].asLong(),
                             a[4].asVariant());
     }},
    {DISPID_RCX_RECONNECT, "", 0, 0,
     [](RcxPilot& self, Arguments&, VARIANT*) { return self.Reconnect(); }},
    {DISPID_RCX_PBALIVEORNOT, "", 0, 'b', truth<&RcxPilot::PBAliveOrNot>},
    {DISPID_RCX_TOWERALIVE, "", 0, 'b', truth<&RcxPilot::TowerAlive>},
    {DISPID_RCX_SELECTDISPLAY, "hh", 2, 0, shorts<&RcxPilot::SelectDisplay, 2>},
    {DISPID_RCX_SETWATCH, "hh", 2, 0, shorts<&RcxPilot::SetWatch, 2>},
    {DISPID_RCX_PLAYSYSTEMSOUND, "h", 1, 0, shorts<&RcxPilot::PlaySystemsound, 1>},
    {DISPID_RCX_PLAYTONE, "hh", 2, 0, shorts<&RcxPilot::PlayTone, 2>},
    {DISPID_RCX_ONN, "h", 1, 0, shorts<&RcxPilot::Onn, 1>},
    {DISPID_RCX_OFF, "h", 1, 0, shorts<&RcxPilot::Off, 1>},
    {DISPID_RCX_FLOAT, "h", 1, 0, shorts<&RcxPilot::Float, 1>},
    {DISPID_RCX_SETFWD, "h", 1, 0, shorts<&RcxPilot::SetFwd, 1>},
    {DISPID_RCX_SETRWD, "h", 1, 0, shorts<&RcxPilot::SetRwd, 1>},
    {DISPID_RCX_ALTERDIR, "h", 1, 0, shorts<&RcxPilot::AlterDir, 1>},
    {DISPID_RCX_SETPOWER, "hh", 2, 0, shorts<&RcxPilot::SetPower, 2>},
    {DISPID_RCX_SETSENSORTYPE, "hh", 2, 0, shorts<&RcxPilot::SetSensorType, 2>},
    {DISPID_RCX_SETSENSORMODE, "hhh", 3, 0, shorts<&RcxPilot::SetSensorMode, 3>},
    {DISPID_RCX_SELECTPRGM, "h", 1, 0, shorts<&RcxPilot::SelectPrgm, 1>},
    {DISPID_RCX_POLL, "hh", 2, 'l',
     [](RcxPilot& self, Arguments& a, VARIANT* r) {
         V_VT(r) = VT_I4;
         return self.Poll(a[0].asShort(), a[1].asShort(), &V_I4(r));
     }},
    {DISPID_RCX_PBATTERY, "", 0, 'h',
     [](RcxPilot& self, Arguments&, VARIANT* r) {
         V_VT(r) = VT_I2;
         return self.PBattery(&V_I2(r));
     }},
    {DISPID_RCX_SETVAR, "hhh", 3, 0, shorts<&RcxPilot::SetVar, 3>},
    {DISPID_RCX_SETDATALOG, "h", 1, 0, shorts<&RcxPilot::SetDatalog, 1>},
    {DISPID_RCX_DATALOGNEXT, "hh", 2, 0, shorts<&RcxPilot::DatalogNext, 2>},
    {DISPID_RCX_UPLOADDATALOG, "hh", 2, 'v',
     [](RcxPilot& self, Arguments& a, VARIANT* r) {
         return self.UploadDatalog(a[0].asShort(), a[1].asShort(), r);
     }},
});

const Method* methodOf(DISPID id) {
    const auto found = std::find_if(kMethods.begin(), kMethods.end(),
                                    [id](const Method& m) { return m.id == id; });
    return found == kMethods.end() ? nullptr : &*found;
}

bool isMissing(const VARIANT* v) {
    return V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND;
}

}  // namespace

STDMETHODIMP RcxPilot::GetTypeInfoCount(UINT* count) {
    RETURN_HR_IF(E_POINTER, !count);
    *count = 1;
    return S_OK;
}

STDMETHODIMP RcxPilot::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    RETURN_HR_IF(E_POINTER, !info);
    *info = nullptr;
    RETURN_HR_IF(DISP_E_BADINDEX, index != 0);
    return guarded([&] { *info = automation::interfaceInfo().release(); });
}

STDMETHODIMP RcxPilot::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, iid != IID_NULL);
    RETURN_HR_IF(E_POINTER, !names || !ids);
    try {
        return automation::interfaceInfo()->GetIDsOfNames(names, count, ids);
    } catch (...) {
        return reportCaughtException({&IID_IDispatch, L"kestrel"});
    }
}

STDMETHODIMP RcxPilot::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
    RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, iid != IID_NULL);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    // A caller's argument list is checked before any of it is read.
    RETURN_HR_IF(E_INVALIDARG, (params->cArgs > 0 && !params->rgvarg) ||
                                   (params->cNamedArgs > 0 && !params->rgdispidNamedArgs) ||
                                   params->cNamedArgs > params->cArgs);
    auto failArg = [&](HRESULT hr, UINT index) {
        if (argError) *argError = index;
        return hr;
    };
    const ComPtr<_RcxPilot> self(this);
    try {
        if (id == DISPID_RCX_PORT) {
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
                RETURN_HR_IF(DISP_E_BADPARAMCOUNT, params->cArgs != 1);
                RETURN_HR_IF(
                    DISP_E_PARAMNOTFOUND,
                    params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT);
                DispatchArgument value;
                if (HRESULT hr = value.bind(ParamType::String, &params->rgvarg[0]); FAILED(hr))
                    return failArg(hr, 0);
                const HRESULT hr = put_Port(*value.asString());
                return FAILED(hr) ? exceptionFromErrorInfo(hr, excepInfo) : S_OK;
            }
            RETURN_HR_IF(DISP_E_MEMBERNOTFOUND, !(flags & DISPATCH_PROPERTYGET));
            RETURN_HR_IF(DISP_E_BADPARAMCOUNT, params->cArgs != 0);
            Bstr port;
            const HRESULT hr = get_Port(port.put());
            if (FAILED(hr)) return exceptionFromErrorInfo(hr, excepInfo);
            if (result) {
                VariantClear(result);
                V_VT(result) = VT_BSTR;
                V_BSTR(result) = port.release();
            }
            return S_OK;
        }

        const Method* method = methodOf(id);
        RETURN_HR_IF(DISP_E_MEMBERNOTFOUND, !method);
        RETURN_HR_IF(DISP_E_MEMBERNOTFOUND, !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)));
        const Method& shape = *method;
        const UINT count = static_cast<UINT>(std::char_traits<char>::length(shape.params));
        RETURN_HR_IF(DISP_E_BADPARAMCOUNT, params->cArgs > count);

        // Where each parameter's value stands in rgvarg: positional ones last-first, named ones
        // by the parameter number that GetIDsOfNames gave out for their names.
        std::array<int, 5> slot;
        slot.fill(-1);
        const UINT positional = params->cArgs - params->cNamedArgs;
        for (UINT i = 0; i < positional; ++i) slot[i] = static_cast<int>(params->cArgs - 1 - i);
        for (UINT j = 0; j < params->cNamedArgs; ++j) {
            const DISPID named = params->rgdispidNamedArgs[j];
            if (named < 0 || static_cast<UINT>(named) >= count || slot[named] != -1)
                return failArg(DISP_E_PARAMNOTFOUND, j);
            slot[named] = static_cast<int>(j);
        }

        Arguments args;
        for (UINT i = 0; i < count; ++i) {
            const auto type = static_cast<ParamType>(shape.params[i]);
            VARIANT* value = slot[i] >= 0 ? &params->rgvarg[slot[i]] : nullptr;
            if (!value || isMissing(value)) {
                if (static_cast<int>(i) < shape.required) {
                    if (!value) return DISP_E_BADPARAMCOUNT;
                    return failArg(DISP_E_PARAMNOTOPTIONAL, slot[i]);
                }
                args[i].bindMissing(type);
                continue;
            }
            if (HRESULT hr = args[i].bind(type, value); FAILED(hr)) return failArg(hr, slot[i]);
        }

        Variant returned;
        VARIANT* r = returned.get();
        const HRESULT hr = shape.call(*this, args, r);
        // What a method wrote before it failed (UploadDatalog's count) still reaches the caller.
        for (UINT i = 0; i < count; ++i) args[i].writeBack();
        if (FAILED(hr)) {
            returned.put();
            return exceptionFromErrorInfo(hr, excepInfo);
        }
        if (result && shape.result) {
            VariantClear(result);
            returned.release(result);
        }
        return S_OK;
    } catch (...) {
        const HRESULT hr = reportCaughtException(kBoundary);
        return exceptionFromErrorInfo(hr, excepInfo);
    }
}

STDMETHODIMP RcxPilot::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__RcxPilot ? S_OK : S_FALSE;
}

}  // namespace kestrel
