// The tool's towers on Linux: serial devices, the USB tower's device node, the virtual brick.
#include <unistd.h>

#include "PosixSerialTransport.h"
#include "ToolPort.h"
#include "UsbTowerTransport.h"
#include "VirtualBrickTransport.h"

namespace towerlink::tool {
namespace {

class DevicePort final : public OpenTower {
public:
    explicit DevicePort(std::unique_ptr<Transport> transport)
        : transport_(std::move(transport)), session_(*transport_, clock_) {}
    Session& session() override { return session_; }

private:
    SystemClock clock_;
    std::unique_ptr<Transport> transport_;
    Session session_;
};

template <class T>
Result<std::unique_ptr<OpenTower>, std::string> opened(Result<std::unique_ptr<T>, Failure> r) {
    if (!r) return linkErrorName(r.error().error) + std::string(": ") + r.error().message;
    return std::unique_ptr<OpenTower>(std::make_unique<DevicePort>(std::move(r.value())));
}

}  // namespace

const char* const kPortHelp =
    "PORT is a serial device path, 'usb' (/dev/usb/legousbtower0) or 'virtual'.\n";

Result<std::unique_ptr<OpenTower>, std::string> openPort(const PortRequest& request) {
    if (request.name.empty()) return std::string("--port is required");
    if (request.name == "virtual") {
        auto settings = parseVirtualBrickSettings(request.faults.value_or(""));
        if (!settings) return "--faults: " + settings.error();
        if (!request.firmware) settings->firmware = false;
        return opened(Result<std::unique_ptr<VirtualBrickTransport>, Failure>(
            std::make_unique<VirtualBrickTransport>(settings.value())));
    }
    if (request.name == "usb") return opened(UsbTowerTransport::open());
    return opened(PosixSerialTransport::open(request.name));
}

bool standardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace towerlink::tool
