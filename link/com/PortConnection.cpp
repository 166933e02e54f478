// Opening ports of every kind.
#include "PortConnection.h"

#include <windows.h>

#include <atomic>

#include "TowerLinkError.h"
#include "VirtualPort.h"
#include "Win32SerialTransport.h"
#include "Win32UsbTowerTransport.h"

namespace towerlink {
namespace {

// The virtual brick is one device, as a tower is: one link at a time may hold it, in the whole
// process, just as Windows lets only one handle at a time hold a COM port.
std::atomic<bool> g_virtualPortHeld{false};

std::wstring environmentValue(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length < 1024 ? std::wstring(value, length) : std::wstring();
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
            if (name.kind == PortKind::Usb) {
                raise(TowerLinkError::NoTower,
                      L"No USB tower is plugged in as " + port +
                          L": plug in the tower and check that LEGO's tower driver is "
                          L"installed");
            }
            raise(TowerLinkError::NoTower,
                  L"There is no port " + port +
                      L" on this computer: choose another port (TOWERLINK_PORT, or Port under "
                      L"HKEY_CURRENT_USER\\Software\\TowerLink)");
        default: break;
    }
    raiseLinkFailure(failure, port);
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

std::unique_ptr<PortConnection> PortConnection::open(const PortName& name) {
    switch (name.kind) {
        case PortKind::Serial: {
            auto transport = Win32SerialTransport::open(name.number);
            if (!transport) raiseOpenFailure(name, transport.error());
            return std::unique_ptr<PortConnection>(
                new PortConnection(std::move(transport.value()), name.text(), false));
        }
        case PortKind::Usb: {
            auto transport = Win32UsbTowerTransport::open(name.number);
            if (!transport) raiseOpenFailure(name, transport.error());
            return std::unique_ptr<PortConnection>(
                new PortConnection(std::move(transport.value()), name.text(), false));
        }
        case PortKind::Virtual: break;
    }
    auto settings = parseVirtualPortSettings(environmentValue(L"TOWERLINK_VIRTUAL_FAULTS"));
    if (!settings) {
        raise(TowerLinkError::BadVirtualSettings,
              L"TOWERLINK_VIRTUAL_FAULTS: " + settings.error() +
                  L". Correct or remove the variable, then open VIRTUAL again");
    }
    if (g_virtualPortHeld.exchange(true)) raiseBusy(name.text());
    try {
        auto transport = std::make_unique<VirtualPort>(settings.value());
        return std::unique_ptr<PortConnection>(
            new PortConnection(std::move(transport), name.text(), true));
    } catch (...) {
        g_virtualPortHeld = false;
        throw;
    }
}

}  // namespace towerlink
