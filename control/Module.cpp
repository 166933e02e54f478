// Kestrel.ocx's entry points: the four exports of a self-registering in-process server.
#include <olectl.h>

#include "Automation.h"
#include "RcxPilot.h"
#include "Registration.h"

namespace {

const kestrel::ClassRecord& rcxPilotRecord() {
    static const kestrel::ClassRecord record{
        CLSID_RcxPilot,
        L"kestrel.RcxPilot",
        L"kestrel.RcxPilot",
        L"Apartment",
        true,
        OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
            OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE,
        30000,
        LIBID_kestrel,
        L"15.0",
    };
    return record;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        kestrel::module::setInstance(instance);
        kestrel::module::setIdleHandler(&kestrel::automation::releaseTypeInfo);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary: the process goes on without us. The type information went
        // with the last object.
        kestrel::Face::unregisterClass();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_RcxPilot) return CLASS_E_CLASSNOTAVAILABLE;
    return kestrel::module::getClassFactory(&kestrel::RcxPilot::create, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return kestrel::module::canUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    return kestrel::registerServer(rcxPilotRecord(), kestrel::module::path());
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    return kestrel::unregisterServer(rcxPilotRecord(), kestrel::module::path());
}
