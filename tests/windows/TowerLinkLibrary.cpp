// Loading TowerLink.dll and advising its events.
#include "TowerLinkLibrary.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include "Bstr.h"
#include "ComError.h"
#include "Environment.h"

namespace kestrel::test {

namespace {

ComPtr<IClassFactory> factoryOf(const TowerLinkLibrary& library) {
    ComPtr<IClassFactory> factory;
    throwIfFailed(library.classFactory(CLSID_TowerLink, factory));
    return factory;
}

ComPtr<IConnectionPoint> eventPoint(IBrickLink* link) {
    ComPtr<IConnectionPointContainer> container;
    throwIfFailed(link->QueryInterface(IID_IConnectionPointContainer, container.putVoid()));
    ComPtr<IConnectionPoint> point;
    throwIfFailed(container->FindConnectionPoint(DIID__IBrickLinkEvents, point.put()));
    return point;
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
    EXPECT_EQ(S_OK, link->OpenPort(port.get())) << "faults " << faults;
    return link;
}

std::wstring TowerLinkLibrary::expectFailure(HRESULT returned, HRESULT expected,
                                             const wchar_t* part) const {
    EXPECT_EQ(expected, returned);
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.put()) != S_OK || !error) {
        ADD_FAILURE() << "no error information for " << std::hex << returned;
        return {};
    }
    Bstr description, text;
    error->GetDescription(description.put());
    EXPECT_FALSE(description.str().empty());
    EXPECT_NE(std::wstring::npos, description.str().find(part)) << description.str();
    error->GetSource(text.put());
    EXPECT_EQ(L"TowerLink", text.str());
    error->GetHelpFile(text.put());
    EXPECT_EQ(errorReference(), text.str());
    DWORD helpContext = 0;
    error->GetHelpContext(&helpContext);
    EXPECT_EQ(static_cast<DWORD>(HRESULT_CODE(expected)), helpContext);
    return description.str();
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

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value)
    : name_(name), previous_(environmentValue(name)) {
    SetEnvironmentVariableW(name, value);
}

DWORD advise(IBrickLink* link, IDispatch* sink) {
    DWORD cookie = 0;
    throwIfFailed(eventPoint(link)->Advise(sink, &cookie));
    return cookie;
}

void unadvise(IBrickLink* link, DWORD cookie) {
    throwIfFailed(eventPoint(link)->Unadvise(cookie));
}

}  // namespace kestrel::test
