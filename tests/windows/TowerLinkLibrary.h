// TowerLink.dll loaded straight from the bin folder, as a COM library would load it: its class
// factory, its unload answer, and a registration of its class for this thread's CoCreateInstance
// (what Kestrel.ocx calls), all without the registry of the test machine.
#pragma once

#include <windows.h>
#include <IBrickLink.h>
#include <towerlink_tlb.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "LoadedLibrary.h"

namespace kestrel::test {

class TowerLinkLibrary : public LoadedLibrary {
public:
    TowerLinkLibrary() : LoadedLibrary(L"TowerLink.dll") {}

    ComPtr<IBrickLink> create() const;
    // A link opened on the VIRTUAL port, its brick started with the given faults.
    ComPtr<IBrickLink> openVirtual(const wchar_t* faults = L"") const;
};

// GetInfo's answer for the item, which must succeed.
long info(IBrickLink* link, long item);

// Serves CLSID_TowerLink from TowerLink.dll's own class factory while it lives.
class TowerLinkClassRegistration {
public:
    explicit TowerLinkClassRegistration(const TowerLinkLibrary& library);
    TowerLinkClassRegistration(const TowerLinkClassRegistration&) = delete;
    TowerLinkClassRegistration& operator=(const TowerLinkClassRegistration&) = delete;
    ~TowerLinkClassRegistration();

private:
    DWORD cookie_ = 0;
};

// Sets an environment variable for as long as it lives, then restores what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value);
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();

private:
    std::wstring name_;
    std::wstring previous_;
    bool hadValue_ = false;
};

// A sink for _IBrickLinkEvents that records what it hears as "StatusChanged 1" and so on, and
// can run a callback from inside TransferProgress.
class RecordingEventSink final : public IDispatch {
public:
    RecordingEventSink() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

    std::vector<std::wstring> heard;
    void (*onProgress)(void* context) = nullptr;
    void* progressContext = nullptr;
    ULONG refs() const { return refs_; }

private:
    ULONG refs_ = 1;
};

// Advises `sink` on the link's event connection point; returns the cookie.
DWORD advise(IBrickLink* link, IDispatch* sink);
void unadvise(IBrickLink* link, DWORD cookie);

}  // namespace kestrel::test
