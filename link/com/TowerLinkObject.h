// The TowerLink class: the brick link that Kestrel creates by CLSID_TowerLink and calls through
// IBrickLink. It owns at most one open port, answers the status, setting and tower items of
// GetInfo, runs command texts, serves the datalog as bytes, and raises its events on the
// connection point of _IBrickLinkEvents. Apartment-threaded: all calls come on one thread, but
// may come back re-entrantly from an event handler, which is why a running datalog transfer
// turns other port calls away as busy.
#pragma once

#include <IBrickLink.h>
#include <ocidl.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "ComObject.h"
#include "ConnectionPoint.h"
#include "PortConnection.h"

namespace towerlink {

class TowerLinkObject final
    : public kestrel::ComObject<TowerLinkObject, IBrickLink, IFirmwareLoader, IProgramLoader,
                                ISupportErrorInfo, IConnectionPointContainer> {
public:
    static HRESULT create(REFIID iid, void** object);
    static std::span<const kestrel::InterfaceEntry<TowerLinkObject>> interfaces();

    // IBrickLink
    STDMETHODIMP GetPortName(BSTR* port) override;
    STDMETHODIMP OpenPort(BSTR port) override;
    STDMETHODIMP ClosePort() override;
    STDMETHODIMP GetInfo(long item, long* value) override;
    STDMETHODIMP ExecuteCommand(BSTR* text, long* mode, long* position, VARIANT* reply,
                                long* result) override;
    STDMETHODIMP QueryDatalog(long* entrySize, long* entryCount, long* start, long* end,
                              VARIANT* firstEntry, VARIANT* lastEntry) override;
    STDMETHODIMP ReadDatalog(long first, long count, VARIANT* data) override;
    STDMETHODIMP SetLinkMode(short mode) override;

    // IDispatch, for the script clients of IFirmwareLoader and IProgramLoader
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

    // IFirmwareLoader
    STDMETHODIMP DownloadFirmware(BSTR path) override;

    // IProgramLoader
    STDMETHODIMP DownloadProgram(BSTR path, long slot) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

private:
    enum class Transfer { None, Datalog, Firmware, Program };
    // Marks a transfer as under way for as long as it lives.
    class TransferGuard {
    public:
        TransferGuard(TowerLinkObject& link, Transfer transfer);
        ~TransferGuard();
        TransferGuard(const TransferGuard&) = delete;
        TransferGuard& operator=(const TransferGuard&) = delete;

    private:
        TowerLinkObject& link_;
    };

    TowerLinkObject();
    ~TowerLinkObject() override;

    // The open port, or ComError (not opened, or busy during a transfer).
    PortConnection& port();
    long probeStatus();
    void setStatus(long status);
    // Raises the failure of an exchange, after noting what it says about the link's status.
    [[noreturn]] void fail(const Failure& failure, bool commandSent = false);
    // Raises MessageReceived for the messages that arrived during the last exchange.
    void deliverMessages();
    // Opens the configured port unless one is open: script clients cannot call OpenPort.
    HRESULT openConfiguredPort();
    // Notes what a failed transfer says about the link's status, and the messages it brought.
    void noteFailure(const Failure& failure);
    // Raises TransferProgress.
    void fireProgress(std::size_t done, std::size_t total);
    // Late-bound DownloadProgram: path, and the slot when given.
    HRESULT invokeDownloadProgram(DISPPARAMS& params, EXCEPINFO* excepInfo, UINT* argError);

    kestrel::ConnectionPoint events_;
    std::unique_ptr<PortConnection> port_;
    long status_;                         // the last status reported (and raised as StatusChanged)
    long linkSetting_;                    // the tower's transmitter range: 6 short, 7 long
    Transfer transfer_ = Transfer::None;  // the long call under way, which makes others busy
    std::vector<std::uint8_t> messages_;
};

}  // namespace towerlink
