// The serial infrared tower on a Windows COM port: 2400 baud, 8 data bits, odd parity, one stop
// bit. The tower hears itself, so everything written comes back as an echo before the reply.
#pragma once

#include <memory>
#include <string>

#include "LinkError.h"
#include "Result.h"
#include "Transport.h"
#include "UniqueHandle.h"

namespace towerlink {

class Win32SerialTransport final : public Transport {
public:
    // `number` is the n of COMn. A failure carries GetLastError() of the step that failed.
    static Result<std::unique_ptr<Win32SerialTransport>, Failure> open(int number);

    IoResult write(std::span<const std::uint8_t> bytes) override;
    IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) override;
    bool echoes() const override { return true; }
    void discardInput() override;

private:
    Win32SerialTransport(kestrel::Win32Handle port, std::string name);
    // Sets how long the next ReadFile may wait for its first byte.
    bool setReadWait(Micros wait);

    kestrel::Win32Handle port_;
    std::string name_;
    DWORD readWaitMs_ = 0;
};

}  // namespace towerlink
