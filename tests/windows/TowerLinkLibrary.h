// TowerLink.dll loaded straight from the bin folder, as a COM library would load it: its class
// factory, its unload answer, and a registration of its class for this thread's CoCreateInstance
// (what Kestrel.ocx calls), all without the registry of the test machine.
#pragma once

#include <windows.h>
#include <IBrickLink.h>
#include <towerlink_tlb.h>

#include <string>

#include "ComPtr.h"
#include "LoadedLibrary.h"
#include "RecordingEventSink.h"
#include "TowerLinkFailure.h"

namespace kestrel::test {

class TowerLinkLibrary : public LoadedLibrary {
public:
    TowerLinkLibrary() : LoadedLibrary(L"TowerLink.dll") {}

    ComPtr<IBrickLink> create() const;
    // A link opened on the VIRTUAL port, its brick started with the given faults.
    ComPtr<IBrickLink> openVirtual(const wchar_t* faults = L"") const;
    // The error reference that ships beside the DLL.
    std::wstring errorReference() const { return folder() + L"TowerLink-errors.html"; }
    // Expects `returned` to be `expected` with TowerLink's whole error information: a
    // description that mentions `part`, source "TowerLink", the error reference and the
    // number's section in it. Returns the description.
    std::wstring expectFailure(HRESULT returned, HRESULT expected, const wchar_t* part = L"") const;
};

// GetInfo's answer for the item, which must succeed.
long info(IBrickLink* link, long item);
inline long status(IBrickLink* link) {
    return info(link, TOWERLINK_INFO_STATUS);
}

// Serves CLSID_TowerLink from TowerLink.dll's own class factory while it lives.
class TowerLinkClassRegistration {
public:
    explicit TowerLinkClassRegistration(const TowerLinkLibrary& library);
    TowerLinkClassRegistration(const TowerLinkClassRegistration&) = delete;
    TowerLinkClassRegistration& operator=(const TowerLinkClassRegistration&) = delete;
    ~TowerLinkClassRegistration() { CoRevokeClassObject(cookie_); }

private:
    DWORD cookie_ = 0;
};

// Sets an environment variable for as long as it lives, then restores what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value);
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        SetEnvironmentVariableW(name_.c_str(), previous_.empty() ? nullptr : previous_.c_str());
    }

private:
    std::wstring name_;
    std::wstring previous_;  // empty when it was not set, which the components treat alike
};

// Advises `sink` on the link's event connection point; returns the cookie.
DWORD advise(IBrickLink* link, IDispatch* sink);
void unadvise(IBrickLink* link, DWORD cookie);

}  // namespace kestrel::test
