// An event sink that records what it hears, for any of the components' event interfaces.
#pragma once

#include <IBrickLink.h>

#include <functional>
#include <string>
#include <vector>

#include "StrictFake.h"

namespace kestrel::test {

// Records events as "StatusChanged 1" and so on (TowerLink's names; other events by number),
// and can run a callback from inside TransferProgress. A connection point only ever calls Invoke.
class RecordingEventSink final : public StrictFake<IDispatch> {
public:
    explicit RecordingEventSink(REFIID events = DIID__IBrickLinkEvents)
        : StrictFake({IID_IDispatch, events}, "a connection point only calls Invoke") {}
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return unexpected(); }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return unexpected(); }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return unexpected();
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

    std::vector<std::wstring> heard;
    std::function<void()> onProgress;
};

}  // namespace kestrel::test
