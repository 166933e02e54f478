// The entry points of a self-registering in-process server, from its description. Each export
// runs at the boundary: what its table's functions throw (out of memory while a class record or
// the module's path is made) comes back as an HRESULT with error information.
#include <olectl.h>

#include "ComError.h"
#include "Server.h"

using kestrel::server::description;

namespace {

// No interface is the exports' own: they report under the server's name alone.
kestrel::Boundary boundary() {
    return {&IID_NULL, description().name};
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        kestrel::module::setInstance(instance);
        kestrel::module::setIdleHandler(description().idle);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr && description().unloaded) {
        description().unloaded();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return kestrel::atBoundary(boundary(), [&]() -> HRESULT {
        RETURN_HR_IF(E_POINTER, !object);
        *object = nullptr;
        for (const auto& served : description().classes) {
            if (served.record().clsid == clsid)
                return kestrel::module::getClassFactory(served.create, iid, object);
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return kestrel::atBoundary(boundary(),
                               [] { return kestrel::module::canUnload() ? S_OK : S_FALSE; });
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    return kestrel::atBoundary(boundary(), []() -> HRESULT {
        for (const auto& served : description().classes)
            RETURN_IF_FAILED(kestrel::registerServer(served.record(), kestrel::module::path()));
        return S_OK;
    });
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    return kestrel::atBoundary(boundary(), [] {
        HRESULT result = S_OK;
        for (const auto& served : description().classes) {
            const HRESULT hr = kestrel::unregisterServer(served.record(), kestrel::module::path());
            if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
        return result;
    });
}
