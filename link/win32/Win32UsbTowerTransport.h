// The USB infrared tower through LEGO's Windows driver (\\.\LEGOTOWER1 for the first tower,
// \\.\LEGOTOWER2 for the second, ...). The driver carries the infrared bytes in both
// directions; the USB tower does not echo.
#pragma once

#include <memory>
#include <string>

#include "LinkError.h"
#include "Result.h"
#include "Transport.h"
#include "UniqueHandle.h"

namespace towerlink {

class Win32UsbTowerTransport final : public Transport {
public:
    // `number` counts the towers from 1. A failure carries GetLastError().
    static Result<std::unique_ptr<Win32UsbTowerTransport>, Failure> open(int number);

    IoResult write(std::span<const std::uint8_t> bytes) override;
    IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) override;
    bool echoes() const override { return false; }
    void discardInput() override;

private:
    Win32UsbTowerTransport(kestrel::Win32Handle device, kestrel::Win32Handle event,
                           std::string name);
    // One overlapped transfer, abandoned (and cancelled) after `wait`; returns bytes moved.
    IoResult transfer(bool reading, std::uint8_t* data, std::size_t size, DWORD waitMs);

    kestrel::Win32Handle device_;
    kestrel::Win32Handle event_;
    std::string name_;
    bool abandoned_ = false;  // a transfer the driver never gave back: the tower is given up
};

}  // namespace towerlink
