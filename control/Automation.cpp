// RcxPilot's IDispatch: names through the type library, calls through a table of method shapes
// and our own argument conversion (the system's DispInvoke does not convert the by-reference
// variants that script clients pass on every platform).
#include "Automation.h"

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

constexpr DISPID kPort = 0x40030000;
constexpr DISPID kFirstMethod = 0x60030000;

// Parameter types of method n (dispatch id kFirstMethod + n), how many are required, and the
// type of the result ('\0' for none).
struct MethodShape {
    const char* params;
    int required;
    char result;
};

constexpr std::array<MethodShape, 24> kMethods{{
    {"sbllv", 2, 0},  // Execute
    {"", 0, 0},       // Reconnect
    {"", 0, 'b'},     // PBAliveOrNot
    {"", 0, 'b'},     // TowerAlive
    {"hh", 2, 0},     // SelectDisplay
    {"hh", 2, 0},     // SetWatch
    {"h", 1, 0},      // PlaySystemsound
    {"hh", 2, 0},     // PlayTone
    {"h", 1, 0},      // Onn
    {"h", 1, 0},      // Off
    {"h", 1, 0},      // Float
    {"h", 1, 0},      // SetFwd
    {"h", 1, 0},      // SetRwd
    {"h", 1, 0},      // AlterDir
    {"hh", 2, 0},     // SetPower
    {"hh", 2, 0},     // SetSensorType
    {"hhh", 3, 0},    // SetSensorMode
    {"h", 1, 0},      // SelectPrgm
    {"hh", 2, 'l'},   // Poll
    {"", 0, 'h'},     // PBattery
    {"hhh", 3, 0},    // SetVar
    {"h", 1, 0},      // SetDatalog
    {"hh", 2, 0},     // DatalogNext
    {"hh", 2, 'v'},   // UploadDatalog
}};

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
        if (id == kPort) {
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

        const DISPID n = id - kFirstMethod;
        RETURN_HR_IF(DISP_E_MEMBERNOTFOUND, n < 0 || n >= static_cast<DISPID>(kMethods.size()));
        RETURN_HR_IF(DISP_E_MEMBERNOTFOUND, !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)));
        const MethodShape& shape = kMethods[n];
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

        std::array<DispatchArgument, 5> args;
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
        HRESULT hr = E_UNEXPECTED;
        switch (id) {
            case 0x60030000:
                hr = Execute(args[0].asString(), args[1].asBool(), args[2].asLong(),
                             args[3].asLong(), args[4].asVariant());
                break;
            case 0x60030001: hr = Reconnect(); break;
            case 0x60030002:
                V_VT(r) = VT_BOOL;
                hr = PBAliveOrNot(&V_BOOL(r));
                break;
            case 0x60030003:
                V_VT(r) = VT_BOOL;
                hr = TowerAlive(&V_BOOL(r));
                break;
            case 0x60030004: hr = SelectDisplay(args[0].asShort(), args[1].asShort()); break;
            case 0x60030005: hr = SetWatch(args[0].asShort(), args[1].asShort()); break;
            case 0x60030006: hr = PlaySystemsound(args[0].asShort()); break;
            case 0x60030007: hr = PlayTone(args[0].asShort(), args[1].asShort()); break;
            case 0x60030008: hr = Onn(args[0].asShort()); break;
            case 0x60030009: hr = Off(args[0].asShort()); break;
            case 0x6003000A: hr = Float(args[0].asShort()); break;
            case 0x6003000B: hr = SetFwd(args[0].asShort()); break;
            case 0x6003000C: hr = SetRwd(args[0].asShort()); break;
            case 0x6003000D: hr = AlterDir(args[0].asShort()); break;
            case 0x6003000E: hr = SetPower(args[0].asShort(), args[1].asShort()); break;
            case 0x6003000F: hr = SetSensorType(args[0].asShort(), args[1].asShort()); break;
            case 0x60030010:
                hr = SetSensorMode(args[0].asShort(), args[1].asShort(), args[2].asShort());
                break;
            case 0x60030011: hr = SelectPrgm(args[0].asShort()); break;
            case 0x60030012:
                V_VT(r) = VT_I4;
                hr = Poll(args[0].asShort(), args[1].asShort(), &V_I4(r));
                break;
            case 0x60030013:
                V_VT(r) = VT_I2;
                hr = PBattery(&V_I2(r));
                break;
            case 0x60030014:
                hr = SetVar(args[0].asShort(), args[1].asShort(), args[2].asShort());
                break;
            case 0x60030015: hr = SetDatalog(args[0].asShort()); break;
            case 0x60030016: hr = DatalogNext(args[0].asShort(), args[1].asShort()); break;
            case 0x60030017: hr = UploadDatalog(args[0].asShort(), args[1].asShort(), r); break;
        }
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
