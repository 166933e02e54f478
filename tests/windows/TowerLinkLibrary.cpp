// Loading TowerLink.dll and listening to its events.
#include "TowerLinkLibrary.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include "Bstr.h"
#include "ComError.h"

namespace kestrel::test {

namespace {

ComPtr<IClassFactory> factoryOf(const TowerLinkLibrary& library) {
    ComPtr<IClassFactory> factory;
    throwIfFailed(library.classFactory(CLSID_TowerLink, factory));
    return factory;
}

}  // namespace

ComPtr<IBrickLink> TowerLinkLibrary::create() const {
    ComPtr<IBrickLink> link;
    throwIfFailed(factoryOf(*this)->CreateInstance(nullptr, IID_IBrickLink, link.putVoid()));
    return link;
}

ComPtr<IBrickLink> TowerLinkLibrary::openVirtual(const wchar_t* faults) const {
    ScopedEnvironment settings(L"TOWERLINK_VIRTUAL_FAULTS", faults);
    ComPtr<IBrickLink> link = create();
    Bstr port(L"VIRTUAL");
    EXPECT_EQ(S_OK, link->OpenPort(port.get()))
        << "faults " << std::string(faults, faults + wcslen(faults));
    return link;
}

long info(IBrickLink* link, long item) {
    long value = static_cast<long>(0xdeadbeef);
    EXPECT_EQ(S_OK, link->GetInfo(item, &value)) << "item " << item;
    return value;
}

TowerLinkClassRegistration::TowerLinkClassRegistration(const TowerLinkLibrary& library) {
    throwIfFailed(CoRegisterClassObject(CLSID_TowerLink, factoryOf(library).get(),
                                        CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
}

TowerLinkClassRegistration::~TowerLinkClassRegistration() {
    CoRevokeClassObject(cookie_);
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t previous[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, previous, 1024);
    hadValue_ = length > 0 && length < 1024;
    if (hadValue_) previous_.assign(previous, length);
    SetEnvironmentVariableW(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironmentVariableW(name_.c_str(), hadValue_ ? previous_.c_str() : nullptr);
}

STDMETHODIMP RecordingEventSink::QueryInterface(REFIID iid, void** object) {
    RETURN_HR_IF(E_POINTER, !object);
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__IBrickLinkEvents) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) RecordingEventSink::Release() {
    // Lives on the test's stack: the count is only watched, never acted on.
    return --refs_;
}

STDMETHODIMP RecordingEventSink::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

STDMETHODIMP RecordingEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP RecordingEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP RecordingEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                        EXCEPINFO*, UINT*) {
    static const wchar_t* const names[] = {L"?", L"StatusChanged", L"MessageReceived",
                                           L"TransferProgress"};
    std::wstring line = id >= 1 && id <= 3 ? names[id] : L"event " + std::to_wstring(id);
    // Arguments arrive last first.
    for (UINT i = params->cArgs; i-- > 0;) {
        const VARIANT& v = params->rgvarg[i];
        line += V_VT(&v) == VT_I4 ? L" " + std::to_wstring(V_I4(&v)) : L" <not a Long>";
    }
    heard.push_back(line);
    if (id == 3 && onProgress) onProgress(progressContext);
    return S_OK;
}

DWORD advise(IBrickLink* link, IDispatch* sink) {
    ComPtr<IConnectionPointContainer> container;
    throwIfFailed(link->QueryInterface(IID_IConnectionPointContainer, container.putVoid()));
    ComPtr<IConnectionPoint> point;
    throwIfFailed(container->FindConnectionPoint(DIID__IBrickLinkEvents, point.put()));
    DWORD cookie = 0;
    throwIfFailed(point->Advise(sink, &cookie));
    return cookie;
}

void unadvise(IBrickLink* link, DWORD cookie) {
    ComPtr<IConnectionPointContainer> container;
    throwIfFailed(link->QueryInterface(IID_IConnectionPointContainer, container.putVoid()));
    ComPtr<IConnectionPoint> point;
    throwIfFailed(container->FindConnectionPoint(DIID__IBrickLinkEvents, point.put()));
    throwIfFailed(point->Unadvise(cookie));
}

}  // namespace kestrel::test
