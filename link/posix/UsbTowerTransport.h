// The USB infrared tower through the Linux legousbtower driver (/dev/usb/legousbtower0). The
// driver handles the USB side; reads and writes carry the infrared bytes. No echo.
#pragma once

#include <memory>
#include <string>

#include "FdTransport.h"
#include "LinkError.h"
#include "Result.h"

namespace towerlink {

inline constexpr const char* kDefaultUsbTower = "/dev/usb/legousbtower0";

class UsbTowerTransport final : public FdTransport {
public:
    static Result<std::unique_ptr<UsbTowerTransport>, Failure> open(
        const std::string& path = kDefaultUsbTower);

    bool echoes() const override { return false; }

private:
    using FdTransport::FdTransport;
};

}  // namespace towerlink
