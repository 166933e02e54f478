// One open port and the protocol on top of it: the transport of its kind, the session and the
// datalog reader. Opening fails with TowerLink's own error (ComError) and a description that
// says what to do about it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Clock.h"
#include "Datalog.h"
#include "PortName.h"
#include "Session.h"
#include "Transport.h"
#include "VirtualBrickSettings.h"
#include "WinUsbTowerTransport.h"

namespace towerlink {

// The VIRTUAL port's settings from TOWERLINK_VIRTUAL_FAULTS, read whole however long it is;
// throws ComError (BadVirtualSettings) when an item is wrong.
VirtualBrickSettings virtualBrickSettingsFromEnvironment();

class PortConnection {
public:
    // Throws ComError. VIRTUAL is a virtual brick set up by `virtualSettings`. A USB tower
    // reached through WinUSB (through `usb`'s calls) is set to `range`; LEGO's driver keeps its
    // own.
    static std::unique_ptr<PortConnection> open(const PortName& name, TowerRange range,
                                                const VirtualBrickSettings& virtualSettings,
                                                UsbDeviceApi& usb = systemUsbDeviceApi());
    ~PortConnection();
    PortConnection(const PortConnection&) = delete;
    PortConnection& operator=(const PortConnection&) = delete;

    Session& session() { return *session_; }
    Datalog& datalog() { return *datalog_; }
    // Forgets the datalog's size, for after a command that may have changed it.
    void forgetDatalog() { datalog_.emplace(*session_); }
    const std::wstring& name() const { return name_; }
    // Sets the transmitter range of a tower that takes it from TowerLink (a WinUSB tower); other
    // towers are left alone. Throws ComError (bad tower) when the tower does not take it.
    void setTowerRange(TowerRange range);

private:
    PortConnection(std::unique_ptr<Transport> transport, std::wstring name, bool virtualPort);

    std::unique_ptr<Transport> transport_;
    SystemClock clock_;
    std::unique_ptr<Session> session_;
    std::optional<Datalog> datalog_;
    std::wstring name_;
    bool virtualPort_;
    WinUsbTowerTransport* winUsbTower_ = nullptr;  // transport_, when it is one
};

}  // namespace towerlink
