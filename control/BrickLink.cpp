// Calls into the brick link, with its failures turned into ComError.
#include "BrickLink.h"

#include <span>

#include "ComError.h"
#include "ComObject.h"

namespace kestrel {

namespace {

void check(HRESULT hr) {
    throwIfFailed(hr);
}

// Before each call, so that a failure without error information of its own is not reported
// with the description of an earlier one.
void clearErrorInfo() {
    SetErrorInfo(0, nullptr);
}

}  // namespace

// The control listens to the link's events only to keep the connection the link expects; it
// acts on none of them.
class BrickLinkEventSink final : public ComObject<BrickLinkEventSink, IDispatch> {
public:
    static std::span<const InterfaceEntry<BrickLinkEventSink>> interfaces() {
        static const InterfaceEntry<BrickLinkEventSink> table[] = {
            inherited<BrickLinkEventSink, IDispatch>(IID_IUnknown),
            inherited<BrickLinkEventSink, IDispatch>(IID_IDispatch),
            inherited<BrickLinkEventSink, IDispatch>(DIID__IBrickLinkEvents),
        };
        return table;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        RETURN_HR_IF(E_POINTER, !count);
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return S_OK;
    }
};

BrickLink::BrickLink() {
    clearErrorInfo();
    check(CoCreateInstance(CLSID_TowerLink, nullptr, CLSCTX_INPROC_SERVER, IID_IBrickLink,
                           link_.putVoid()));
    ComPtr<IConnectionPointContainer> container;
    check(link_.queryInterface(IID_IConnectionPointContainer, container));
    check(container->FindConnectionPoint(DIID__IBrickLinkEvents, events_.put()));
    // A new object comes with one reference, the holder's.
    const auto sink = ComPtr<IDispatch>::adopt(new BrickLinkEventSink);
    check(events_->Advise(sink.get(), &cookie_));
}

BrickLink::~BrickLink() {
    if (events_ && cookie_) events_->Unadvise(cookie_);
}

void BrickLink::getPortName(Bstr& port) {
    clearErrorInfo();
    check(link_->GetPortName(port.inOut()));
}

void BrickLink::openPort(const Bstr& port) {
    clearErrorInfo();
    check(link_->OpenPort(port.get()));
}

void BrickLink::closePort() {
    clearErrorInfo();
    check(link_->ClosePort());
}

long BrickLink::getInfo(long item) {
    long value = 0;
    clearErrorInfo();
    check(link_->GetInfo(item, &value));
    return value;
}

long BrickLink::executeCommand(BSTR* text, long mode, long& position, VARIANT* reply) {
    long result = 0;
    clearErrorInfo();
    check(link_->ExecuteCommand(text, &mode, &position, reply, &result));
    return result;
}

void BrickLink::queryDatalog(long& start, long& end) {
    long entrySize = 0;
    long entryCount = 0;
    Variant first;
    Variant last;
    clearErrorInfo();
    check(link_->QueryDatalog(&entrySize, &entryCount, &start, &end, first.get(), last.get()));
}

void BrickLink::readDatalog(long first, long count, Variant& data) {
    clearErrorInfo();
    check(link_->ReadDatalog(first, count, data.put()));
}

void BrickLink::setLinkMode(short mode) {
    clearErrorInfo();
    check(link_->SetLinkMode(mode));
}

}  // namespace kestrel
