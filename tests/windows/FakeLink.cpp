// The scripted brick link of the Windows tests.
#include "FakeLink.h"

#include <gtest/gtest.h>
#include <olectl.h>
#include <towerlink_tlb.h>

#include <algorithm>
#include <memory>
#include <span>

#include "Bstr.h"
#include "ComError.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "SafeArray.h"
#include "Variant.h"

namespace kestrel::test {

namespace {

FakeLinkScript g_script;

class FakeLink final
    : public ComObject<FakeLink, IBrickLink, IConnectionPointContainer, IConnectionPoint> {
public:
    FakeLink() { ++g_script.liveLinks; }
    ~FakeLink() override { --g_script.liveLinks; }

    static std::span<const InterfaceEntry<FakeLink>> interfaces() {
        static const InterfaceEntry<FakeLink> table[] = {
            inherited<FakeLink, IBrickLink>(IID_IUnknown),
            inherited<FakeLink, IBrickLink>(IID_IBrickLink),
            inherited<FakeLink, IConnectionPointContainer>(IID_IConnectionPointContainer),
            inherited<FakeLink, IConnectionPoint>(IID_IConnectionPoint),
        };
        return table;
    }

    STDMETHODIMP GetPortName(BSTR* port) override {
        RETURN_IF_FAILED(called(L"GetPortName"));
        SysFreeString(*port);
        *port = SysAllocString(L"COM1");
        return S_OK;
    }
    STDMETHODIMP OpenPort(BSTR port) override {
        return called(L"OpenPort", std::wstring(Bstr::view(port)));
    }
    STDMETHODIMP ClosePort() override { return called(L"ClosePort"); }
    STDMETHODIMP GetInfo(LONG item, LONG* value) override {
        RETURN_IF_FAILED(called(L"GetInfo", std::to_wstring(item)));
        *value = g_script.info[item];
        return S_OK;
    }
    STDMETHODIMP ExecuteCommand(BSTR* command, LONG* mode, LONG* position, VARIANT* reply,
                                LONG* result) override {
        record(L"ExecuteCommand " + std::wstring(Bstr::view(*command)) + L"|" +
               std::to_wstring(*mode) + L"|" + std::to_wstring(*position));
        if (V_VT(reply) != VT_EMPTY || *result != 0) ++g_script.dirtyInputs;
        FakeReply next;
        if (!g_script.replies.empty()) {
            next = std::move(g_script.replies.front());
            g_script.replies.pop_front();
        }
        if (next.position) *position = *next.position;
        if (next.failure) return fail(*next.failure);
        // Checked after the reply is taken, so a scripted failure still uses up a reply.
        RETURN_IF_FAILED(scriptedFailure(L"ExecuteCommand", L"ExecuteCommand"));
        if (next.fill) next.fill(reply);
        *result = next.result;
        return S_OK;
    }
    // The control reads only the positions, and passes empty variants for the replies.
    STDMETHODIMP QueryDatalog(LONG*, LONG*, LONG* start, LONG* end, VARIANT*, VARIANT*) override {
        RETURN_IF_FAILED(called(L"QueryDatalog"));
        *start = g_script.datalogStart;
        *end = g_script.datalogEnd;
        return S_OK;
    }
    STDMETHODIMP ReadDatalog(LONG first, LONG count, VARIANT* data) override {
        RETURN_IF_FAILED(
            called(L"ReadDatalog", std::to_wstring(first) + L"," + std::to_wstring(count)));
        if (g_script.datalog) g_script.datalog(data);
        return S_OK;
    }
    STDMETHODIMP SetLinkMode(short mode) override {
        return called(L"SetLinkMode", std::to_wstring(mode));
    }

    // The control only finds the events' point, advises and unadvises.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return unexpected(); }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        *point = nullptr;
        RETURN_HR_IF(CONNECT_E_NOCONNECTION, iid != DIID__IBrickLinkEvents);
        *point = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }

    STDMETHODIMP GetConnectionInterface(IID*) override { return unexpected(); }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override {
        return unexpected();
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        record(L"Advise");
        *cookie = 0;
        if (g_script.refuseAdvise) return fail({CONNECT_E_ADVISELIMIT, L"Refused", L""});
        RETURN_HR_IF(CONNECT_E_ADVISELIMIT, sink_);
        sink_ = ComPtr<IUnknown>(sink);
        ++g_script.connections;
        *cookie = 1;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        record(L"Unadvise");
        RETURN_HR_IF(CONNECT_E_NOCONNECTION, cookie != 1 || !sink_);
        sink_.reset();
        --g_script.connections;
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return unexpected(); }

private:
    static HRESULT unexpected() {
        ADD_FAILURE() << "the control calls the link only for its brick and its events";
        return E_NOTIMPL;
    }

    void record(std::wstring call) {
        g_script.calls.push_back(call);
        if (g_script.onCall) g_script.onCall(call);
    }

    HRESULT fail(const FakeFailure& failure) {
        return setErrorInfo({failure.number, failure.description, failure.helpFile, L"FakeLink"},
                            IID_IBrickLink);
    }
    // A failure scripted for the operation, or for it with just these arguments.
    HRESULT scriptedFailure(const std::wstring& call, const std::wstring& operation) {
        auto found = g_script.failures.find(call);
        if (found == g_script.failures.end()) found = g_script.failures.find(operation);
        return found == g_script.failures.end() ? S_OK : fail(found->second);
    }
    HRESULT called(const std::wstring& operation, std::optional<std::wstring> arguments = {}) {
        const std::wstring call = arguments ? operation + L" " + *arguments : operation;
        record(call);
        return scriptedFailure(call, operation);
    }

    ComPtr<IUnknown> sink_;
};

HRESULT createFakeLink(REFIID iid, void** object) {
    return handOut(new FakeLink, iid, object);
}

}  // namespace

std::function<void(VARIANT*)> bytes(LONG lower, std::vector<BYTE> values) {
    return [=](VARIANT* v) {
        SafeArray a = SafeArray::vector(VT_UI1, lower, static_cast<ULONG>(values.size()));
        if (!values.empty())
            std::copy(values.begin(), values.end(), SafeArrayData<BYTE>(a.get()).data());
        V_VT(v) = VT_ARRAY | VT_UI1;
        V_ARRAY(v) = a.release();
    };
}

std::function<void(VARIANT*)> byteMatrix() {
    return [](VARIANT* v) {
        SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
        V_VT(v) = VT_ARRAY | VT_UI1;
        V_ARRAY(v) = SafeArrayCreate(VT_UI1, 2, bounds);
    };
}

std::function<void(VARIANT*)> shortsTypedAs(VARTYPE element) {
    return [=](VARIANT* v) {
        V_VT(v) = VT_ARRAY | element;
        V_ARRAY(v) = SafeArray::vector(VT_I2, 0, 3).release();
    };
}

std::function<void(VARIANT*)> copyOf(VARIANT value) {
    auto held = std::make_shared<Variant>();
    *held->get() = value;
    return [held](VARIANT* v) { VariantCopy(v, held->get()); };
}

FakeLinkScript& fakeLink() {
    return g_script;
}
void resetFakeLink() {
    const int live = g_script.liveLinks;
    const int connections = g_script.connections;
    g_script = FakeLinkScript{};
    g_script.liveLinks = live;
    g_script.connections = connections;
}

FakeLinkRegistration::FakeLinkRegistration() {
    ComPtr<IClassFactory> factory;
    throwIfFailed(module::getClassFactory(&createFakeLink, IID_IClassFactory, factory.putVoid()));
    throwIfFailed(CoRegisterClassObject(CLSID_TowerLink, factory.get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie_));
}

FakeLinkRegistration::~FakeLinkRegistration() {
    CoRevokeClassObject(cookie_);
}

}  // namespace kestrel::test
