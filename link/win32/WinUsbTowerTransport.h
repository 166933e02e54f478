// The USB infrared tower through Windows' generic WinUSB driver, for systems where LEGO's own
// tower driver does not exist (64-bit Windows). The tower is found among the present USB devices
// by its vendor and product id, numbered in the order of its device instance (USB, USB2, ...),
// set up with its vendor requests (range, 2400 baud both ways) and then read from its interrupt
// IN pipe in 8-byte packets and written through its OUT pipe. The USB tower does not echo.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "Result.h"
#include "Transport.h"
#include "UsbDeviceApi.h"
#include "UniqueHandle.h"

namespace towerlink {

enum class TowerRange : std::uint8_t { Short = 1, Medium = 2, Long = 3 };

struct UsbTowerOpenFailure {
    enum class Kind {
        NoTower,   // fewer towers are plugged in than the number asked for
        NotBound,  // the tower is there, but WinUSB does not serve it
        NoWinUsb,  // this system has no working winusb.dll
        Busy,      // another program holds the tower
        Refused,   // the tower answered a vendor request with an error, or not as a tower does
        Failed,    // a system call failed (osError)
    };
    Kind kind;
    std::wstring description;  // complete, and says what to do
    DWORD osError = 0;
};

class WinUsbTowerTransport final : public Transport {
public:
    static constexpr std::uint16_t kVendor = 0x0694;
    static constexpr std::uint16_t kProduct = 0x0001;

    // The `number`-th tower (from 1), set to `range`; the failure says what the user can do.
    static Result<std::unique_ptr<WinUsbTowerTransport>, UsbTowerOpenFailure> open(
        int number, TowerRange range, UsbDeviceApi& api = systemUsbDeviceApi());
    ~WinUsbTowerTransport() override;
    WinUsbTowerTransport(const WinUsbTowerTransport&) = delete;
    WinUsbTowerTransport& operator=(const WinUsbTowerTransport&) = delete;

    IoResult write(std::span<const std::uint8_t> bytes) override;
    IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) override;
    bool echoes() const override { return false; }
    void discardInput() override;

    // Sends the range to the tower; empty when the tower took it, else what went wrong.
    std::wstring setRange(TowerRange range);

private:
    // The buffer and OVERLAPPED of one IN packet read: the driver's while the read is under way.
    struct PacketRead {
        OVERLAPPED overlapped{};
        std::uint8_t packet[8] = {};
    };

    WinUsbTowerTransport(UsbDeviceApi& api, std::string name);
    // One vendor request; an empty text on success, else what went wrong.
    std::wstring vendorRequest(std::uint8_t request, std::uint16_t value, DWORD* osError);
    // Reads one IN packet into pending_, waiting up to `waitMs` for it.
    IoResult readPacket(DWORD waitMs);

    UsbDeviceApi& api_;
    // Opened straight into the transport, so that from the moment they exist they are closed
    // with it.
    HANDLE file_ = nullptr;
    WINUSB_INTERFACE_HANDLE usb_ = nullptr;
    kestrel::Win32Handle event_;
    std::string name_;
    std::unique_ptr<PacketRead> read_;
    DWORD stuckError_ = 0;  // a read given up never ended (the abort's error): the tower is gone
    std::deque<std::uint8_t> pending_;  // received, not yet read
    // The last read got all it asked for and left nothing over: nothing stale can be on the way,
    // so the next discard need not wait for the tower's poll.
    bool drained_ = false;
    ULONG writeTimeoutMs_ = 0;
};

}  // namespace towerlink
