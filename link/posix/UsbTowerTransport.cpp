// Opening the USB tower device.
#include "UsbTowerTransport.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace towerlink {

Result<std::unique_ptr<UsbTowerTransport>, Failure> UsbTowerTransport::open(
    const std::string& path) {
    // The driver supports poll(), so the shared non-blocking reads apply unchanged.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK));
    if (!fd) {
        const int e = errno;
        return Failure{LinkError::NoTower, "cannot open " + path + ": " + std::strerror(e), e};
    }
    return std::unique_ptr<UsbTowerTransport>(new UsbTowerTransport(std::move(fd), path));
}

}  // namespace towerlink
