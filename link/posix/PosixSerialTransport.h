// The serial infrared tower on a POSIX serial port (or a pseudo-terminal standing in for one):
// 2400 baud, 8 data bits, odd parity, 1 stop bit, raw. The tower echoes what it sends.
#pragma once

#include <memory>
#include <string>

#include "FdTransport.h"
#include "LinkError.h"
#include "Result.h"

namespace towerlink {

class PosixSerialTransport final : public FdTransport {
public:
    static Result<std::unique_ptr<PosixSerialTransport>, Failure> open(const std::string& path);

    bool echoes() const override { return true; }
    void discardInput() override;

private:
    using FdTransport::FdTransport;
};

}  // namespace towerlink
