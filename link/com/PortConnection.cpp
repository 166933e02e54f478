// Opening ports of every kind.
#include "PortConnection.h"

#include <windows.h>

#include <atomic>

#include "TowerLinkError.h"
#include "Environment.h"
#include "VirtualBrickTransport.h"
#include "Win32SerialTransport.h"
#include "Win32UsbTowerTransport.h"

namespace towerlink {
namespace {

// The virtual brick is one device, as a tower is: one link at a time may hold it, in the whole
// process, just as Windows lets only one handle at a time hold a COM port.
std::atomic<bool> g_virtualPortHeld{false};

// The brick before the VIRTUAL port stays while the process lives, as a real brick stays before
// its tower: what one link downloads, the next one finds, until the port's settings change. Only
// the holder of the port touches it.
std::shared_ptr<StandingBrick>& standingBrick() {
    static std::shared_ptr<StandingBrick> brick;
    return brick;
}

[[noreturn]] void raiseBusy(const std::wstring& port) {
    raise(TowerLinkError::PortBusy,
          port +
              L" is in use by another program or another brick link: close that one first, "
              L"then open the port again");
}

[[noreturn]] void raiseOpenFailure(const PortName& name, const Failure& failure) {
    const std::wstring port = name.text();
    switch (failure.osError) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY: raiseBusy(port);
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            raise(TowerLinkError::NoTower,
                  L"There is no port " + port +
                      L" on this computer: choose another port (TOWERLINK_PORT, or Port under "
                      L"HKEY_CURRENT_USER\\Software\\TowerLink)");
        default: break;
    }
    raiseLinkFailure(failure, port);
}

bool missing(const Failure& failure) {
    return failure.osError == ERROR_FILE_NOT_FOUND || failure.osError == ERROR_PATH_NOT_FOUND;
}

[[noreturn]] void raiseUsbOpenFailure(const PortName& name, const UsbTowerOpenFailure& failure) {
    using Kind = UsbTowerOpenFailure::Kind;
    switch (failure.kind) {
        case Kind::Busy: raiseBusy(name.text());
        case Kind::Refused: raise(TowerLinkError::BadTower, failure.description);
        case Kind::Failed:
            raiseLinkFailure(Failure{LinkError::NoTower, "", static_cast<int>(failure.osError)},
                             name.text());
        case Kind::NoTower:
        case Kind::NotBound:
        case Kind::NoWinUsb: break;
    }
    raise(TowerLinkError::NoTower, failure.description);
}

}  // namespace

PortConnection::PortConnection(std::unique_ptr<Transport> transport, std::wstring name,
                               bool virtualPort)
    : transport_(std::move(transport)),
      session_(std::make_unique<Session>(*transport_, clock_)),
      name_(std::move(name)),
      virtualPort_(virtualPort) {
    datalog_.emplace(*session_);
}

PortConnection::~PortConnection() {
    session_.reset();
    transport_.reset();
    if (virtualPort_) g_virtualPortHeld = false;
}

void PortConnection::setTowerRange(TowerRange range) {
    if (!winUsbTower_) return;
    const std::wstring problem = winUsbTower_->setRange(range);
    if (problem.empty()) return;
    raise(TowerLinkError::BadTower,
          L"The USB tower " + name_ + L" did not take the new range (" + problem +
              L"): unplug the tower, plug it in again, then open the port again");
}

std::unique_ptr<PortConnection> PortConnection::open(const PortName& name, TowerRange range,
                                                     const VirtualBrickSettings& virtualSettings,
                                                     UsbDeviceApi& usb) {
    switch (name.kind) {
        case PortKind::Serial: {
            auto transport = Win32SerialTransport::open(name.number);
            if (!transport) raiseOpenFailure(name, transport.error());
            return std::unique_ptr<PortConnection>(
                new PortConnection(std::move(transport.value()), name.text(), false));
        }
        case PortKind::Usb: {
            // LEGO's driver where it is installed (32-bit Windows), else WinUSB.
            auto transport = Win32UsbTowerTransport::open(name.number);
            if (transport) {
                return std::unique_ptr<PortConnection>(
                    new PortConnection(std::move(transport.value()), name.text(), false));
            }
            if (!missing(transport.error())) raiseOpenFailure(name, transport.error());
            auto winUsb = WinUsbTowerTransport::open(name.number, range, usb);
            if (!winUsb) raiseUsbOpenFailure(name, winUsb.error());
            WinUsbTowerTransport* tower = winUsb.value().get();
            std::unique_ptr<PortConnection> connection(
                new PortConnection(std::move(winUsb.value()), name.text(), false));
            connection->winUsbTower_ = tower;
            return connection;
        }
        case PortKind::Virtual: break;
    }
    if (g_virtualPortHeld.exchange(true)) raiseBusy(name.text());
    try {
        std::shared_ptr<StandingBrick>& brick = standingBrick();
        if (!brick || !brick->isSetUpBy(virtualSettings)) {
            brick = std::make_shared<StandingBrick>(virtualSettings);
        }
        auto transport = std::make_unique<VirtualBrickTransport>(brick, virtualSettings);
        return std::unique_ptr<PortConnection>(
            new PortConnection(std::move(transport), name.text(), true));
    } catch (...) {
        g_virtualPortHeld = false;
        throw;
    }
}

VirtualBrickSettings virtualBrickSettingsFromEnvironment() {
    const std::wstring text = kestrel::environmentValue(L"TOWERLINK_VIRTUAL_FAULTS");
    // The settings are plain ASCII words and numbers; anything else cannot be one.
    std::string ascii;
    for (wchar_t c : text) ascii += c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
    auto settings = parseVirtualBrickSettings(ascii);
    if (!settings) {
        raise(TowerLinkError::BadVirtualSettings,
              L"TOWERLINK_VIRTUAL_FAULTS: " +
                  std::wstring(settings.error().begin(), settings.error().end()) +
                  L". Correct or remove the variable, then open VIRTUAL again");
    }
    return settings.value();
}

}  // namespace towerlink
