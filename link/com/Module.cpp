// TowerLink.dll's entry points: the four exports of a self-registering in-process server.
#include <IBrickLink.h>
#include <towerlink_tlb.h>

#include "Module.h"
#include "Registration.h"
#include "TowerLinkObject.h"

namespace {

const kestrel::ClassRecord& towerLinkRecord() {
    static const kestrel::ClassRecord record{
        CLSID_TowerLink,
        L"TowerLink brick link",
        L"TowerLink.BrickLink",
        L"Apartment",
        false,
        std::nullopt,
        std::nullopt,
        LIBID_TowerLink,
        L"1.0",
    };
    return record;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        kestrel::module::setInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_TowerLink) return CLASS_E_CLASSNOTAVAILABLE;
    return kestrel::module::getClassFactory(&towerlink::TowerLinkObject::create, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return kestrel::module::canUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    return kestrel::registerServer(towerLinkRecord(), kestrel::module::path());
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    return kestrel::unregisterServer(towerLinkRecord(), kestrel::module::path());
}
