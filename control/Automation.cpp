// RcxPilot's IDispatch: names and parameter types through the type library, calls through one
// table of members and our own argument conversion (the system's DispInvoke does not convert the
// by-reference variants that script clients pass on every platform).
#include "Automation.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

#include "Bstr.h"
#include "ComPtr.h"
#include "DispatchArgument.h"
#include "RcxPilot.h"
#include "TypeDescription.h"
#include "Variant.h"

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
using Slots = std::array<int, 5>;

// One member of _RcxPilot as it is called: its parameter types, how many are required and
// whether it returns a value come from the type library (see Signature).
struct Method {
    DISPID id;
    INVOKEKIND kind;
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
    {DISPID_RCX_PORT, INVOKE_PROPERTYGET,
     [](RcxPilot& self, Arguments&, VARIANT* r) {
         Bstr port;
         const HRESULT hr = self.get_Port(port.put());
         V_VT(r) = VT_BSTR;
         V_BSTR(r) = port.release();
         return hr;
     }},
    {DISPID_RCX_PORT, INVOKE_PROPERTYPUT,
     [](RcxPilot& self, Arguments& a, VARIANT*) { return self.put_Port(*a[0].asString()); }},
    {DISPID_RCX_EXECUTE, INVOKE_FUNC,
     [](RcxPilot& self, Arguments& a, VARIANT*) {
         return self.Execute(a[0].asString(), a[1].asBool(), a[2].asLong(), a[3].asLong(),
                             a[4].asVariant());
     }},
    {DISPID_RCX_RECONNECT, INVOKE_FUNC,
     [](RcxPilot& self, Arguments&, VARIANT*) { return self.Reconnect(); }},
    {DISPID_RCX_PBALIVEORNOT, INVOKE_FUNC, truth<&RcxPilot::PBAliveOrNot>},
    {DISPID_RCX_TOWERALIVE, INVOKE_FUNC, truth<&RcxPilot::TowerAlive>},
    {DISPID_RCX_SELECTDISPLAY, INVOKE_FUNC, shorts<&RcxPilot::SelectDisplay, 2>},
    {DISPID_RCX_SETWATCH, INVOKE_FUNC, shorts<&RcxPilot::SetWatch, 2>},
    {DISPID_RCX_PLAYSYSTEMSOUND, INVOKE_FUNC, shorts<&RcxPilot::PlaySystemsound, 1>},
    {DISPID_RCX_PLAYTONE, INVOKE_FUNC, shorts<&RcxPilot::PlayTone, 2>},
    {DISPID_RCX_ONN, INVOKE_FUNC, shorts<&RcxPilot::Onn, 1>},
    {DISPID_RCX_OFF, INVOKE_FUNC, shorts<&RcxPilot::Off, 1>},
    {DISPID_RCX_FLOAT, INVOKE_FUNC, shorts<&RcxPilot::Float, 1>},
    {DISPID_RCX_SETFWD, INVOKE_FUNC, shorts<&RcxPilot::SetFwd, 1>},
    {DISPID_RCX_SETRWD, INVOKE_FUNC, shorts<&RcxPilot::SetRwd, 1>},
    {DISPID_RCX_ALTERDIR, INVOKE_FUNC, shorts<&RcxPilot::AlterDir, 1>},
    {DISPID_RCX_SETPOWER, INVOKE_FUNC, shorts<&RcxPilot::SetPower, 2>},
    {DISPID_RCX_SETSENSORTYPE, INVOKE_FUNC, shorts<&RcxPilot::SetSensorType, 2>},
    {DISPID_RCX_SETSENSORMODE, INVOKE_FUNC, shorts<&RcxPilot::SetSensorMode, 3>},
    {DISPID_RCX_SELECTPRGM, INVOKE_FUNC, shorts<&RcxPilot::SelectPrgm, 1>},
    {DISPID_RCX_POLL, INVOKE_FUNC,
     [](RcxPilot& self, Arguments& a, VARIANT* r) {
         V_VT(r) = VT_I4;
         return self.Poll(a[0].asShort(), a[1].asShort(), &V_I4(r));
     }},
    {DISPID_RCX_PBATTERY, INVOKE_FUNC,
     [](RcxPilot& self, Arguments&, VARIANT* r) {
         V_VT(r) = VT_I2;
         return self.PBattery(&V_I2(r));
     }},
    {DISPID_RCX_SETVAR, INVOKE_FUNC, shorts<&RcxPilot::SetVar, 3>},
    {DISPID_RCX_SETDATALOG, INVOKE_FUNC, shorts<&RcxPilot::SetDatalog, 1>},
    {DISPID_RCX_DATALOGNEXT, INVOKE_FUNC, shorts<&RcxPilot::DatalogNext, 2>},
    {DISPID_RCX_UPLOADDATALOG, INVOKE_FUNC,
     [](RcxPilot& self, Arguments& a, VARIANT* r) {
         return self.UploadDatalog(a[0].asShort(), a[1].asShort(), r);
     }},
});

// A member's parameters as the type library's dispatch view describes them: by reference or by
// value, the type a caller's value is converted to; required up to the first optional one.
struct Signature {
    std::array<ParamType, std::tuple_size_v<Arguments>> types{};
    UINT count = 0;
    UINT required = 0;
    bool returns = false;
};

// Null for a type that no late-bound call passes (IDispatch's own members have those).
std::optional<ParamType> paramType(const TYPEDESC& declared) {
    const VARTYPE vt = declared.vt == VT_PTR ? declared.lptdesc->vt : declared.vt;
    switch (vt) {
        case VT_I2:
        case VT_I4:
        case VT_BOOL:
        case VT_BSTR:
        case VT_VARIANT: return static_cast<ParamType>(vt);
        default: return std::nullopt;
    }
}

// A member of _RcxPilot as the type library describes it.
struct Member {
    DISPID id;
    INVOKEKIND kind;
    Signature signature;
};

// Read once: the type library is part of the module and does not change.
std::vector<Member> readMembers() {
    const ComPtr<ITypeInfo> type = automation::interfaceInfo();
    const TypeAttr attr(type.get());
    if (!attr) throw ComError(TYPE_E_CANTLOADLIBRARY, L"The control's type library is unreadable");
    std::vector<Member> members;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        const FuncDesc f(type.get(), i);
        if (!f || static_cast<size_t>(f->cParams) > std::tuple_size_v<Arguments>) continue;
        Member m{f->memid, f->invkind, {}};
        m.signature.count = m.signature.required = static_cast<UINT>(f->cParams);
        bool passable = true;
        for (UINT p = 0; p < m.signature.count; ++p) {
            const ELEMDESC& param = f->lprgelemdescParam[p];
            const std::optional<ParamType> type = paramType(param.tdesc);
            passable = passable && type;
            m.signature.types[p] = type.value_or(ParamType::Variant);
            if ((param.paramdesc.wParamFlags & PARAMFLAG_FOPT) && p < m.signature.required)
                m.signature.required = p;
        }
        const VARTYPE result = f->elemdescFunc.tdesc.vt;
        m.signature.returns = result != VT_VOID && result != VT_HRESULT;
        if (passable) members.push_back(m);
    }
    return members;
}

// The member that a call with these flags means: a property put, else a method (which callers
// may also reach as a property get), else a property get. Null when there is none.
const Method* memberFor(DISPID id, WORD flags, Signature& signature) {
    static const std::vector<Member> members = readMembers();
    auto rank = [flags](INVOKEKIND kind) {
        if (kind == INVOKE_PROPERTYPUT)
            return flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF) ? 0 : 3;
        if (kind == INVOKE_FUNC) return flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET) ? 1 : 3;
        return kind == INVOKE_PROPERTYGET && (flags & DISPATCH_PROPERTYGET) ? 2 : 3;
    };
    const Member* best = nullptr;
    for (const Member& m : members) {
        if (m.id == id && rank(m.kind) < (best ? rank(best->kind) : 3)) best = &m;
    }
    if (!best) return nullptr;
    const auto row = std::find_if(kMethods.begin(), kMethods.end(), [&](const Method& m) {
        return m.id == id && m.kind == best->kind;
    });
    if (row == kMethods.end()) return nullptr;
    signature = best->signature;
    return &*row;
}

bool isMissing(const VARIANT* v) {
    return V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND;
}

// Where each parameter's value stands in rgvarg: positional ones last-first, named ones by the
// parameter number that GetIDsOfNames gave out for their names, a put's value under
// DISPID_PROPERTYPUT. -1 for a parameter left out. A failure that concerns one argument names
// it in `bad`.
HRESULT placeArguments(const DISPPARAMS& params, const Signature& signature, INVOKEKIND kind,
                       Slots& slot, std::optional<UINT>& bad) {
    slot.fill(-1);
    if (kind == INVOKE_PROPERTYPUT) {
        RETURN_HR_IF(DISP_E_BADPARAMCOUNT, params.cArgs != 1);
        RETURN_HR_IF(DISP_E_PARAMNOTFOUND,
                     params.cNamedArgs != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT);
        slot[0] = 0;
        return S_OK;
    }
    RETURN_HR_IF(DISP_E_BADPARAMCOUNT, params.cArgs > signature.count);
    const UINT positional = params.cArgs - params.cNamedArgs;
    for (UINT i = 0; i < positional; ++i) slot[i] = static_cast<int>(params.cArgs - 1 - i);
    for (UINT j = 0; j < params.cNamedArgs; ++j) {
        const DISPID named = params.rgdispidNamedArgs[j];
        if (named < 0 || static_cast<UINT>(named) >= signature.count || slot[named] != -1) {
            bad = j;
            return DISP_E_PARAMNOTFOUND;
        }
        slot[named] = static_cast<int>(j);
    }
    return S_OK;
}

// Converts each argument to its parameter's type, or names the one that does not convert.
HRESULT bindArguments(DISPPARAMS& params, const Signature& signature, const Slots& slot,
                      Arguments& args, std::optional<UINT>& bad) {
    for (UINT i = 0; i < signature.count; ++i) {
        VARIANT* value = slot[i] >= 0 ? &params.rgvarg[slot[i]] : nullptr;
        HRESULT hr = S_OK;
        if (value && !isMissing(value)) {
            hr = args[i].bind(signature.types[i], value);
        } else if (i >= signature.required) {
            args[i].bindMissing(signature.types[i]);
        } else if (!value) {
            return DISP_E_BADPARAMCOUNT;
        } else {
            hr = DISP_E_PARAMNOTOPTIONAL;
        }
        if (FAILED(hr)) {
            bad = slot[i];
            return hr;
        }
    }
    return S_OK;
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
    const ComPtr<_RcxPilot> self(this);
    try {
        Signature signature;
        const Method* method = memberFor(id, flags, signature);
        RETURN_HR_IF(DISP_E_MEMBERNOTFOUND, !method);

        Slots slot;
        Arguments args;
        std::optional<UINT> bad;
        HRESULT hr = placeArguments(*params, signature, method->kind, slot, bad);
        if (SUCCEEDED(hr)) hr = bindArguments(*params, signature, slot, args, bad);
        if (FAILED(hr)) {
            if (argError && bad) *argError = *bad;
            return hr;
        }

        Variant returned;
        hr = method->call(*this, args, returned.get());
        // What a method wrote before it failed (UploadDatalog's count) still reaches the caller.
        for (UINT i = 0; i < signature.count; ++i) args[i].writeBack();
        if (FAILED(hr)) {
            returned.put();
            return exceptionFromErrorInfo(hr, excepInfo);
        }
        if (result && signature.returns) {
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
