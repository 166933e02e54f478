// COM port set-up and reads that honour the session's deadlines.
//
// Reads use the one COMMTIMEOUTS combination that returns as soon as any byte is there and
// otherwise waits up to a given time for the first one (interval and multiplier MAXDWORD, a
// constant in between). The inter-byte rule is then kept here, between ReadFile calls, so a
// reply is handed on the moment its last byte arrives and a gap ends the read at once.
#include "Win32SerialTransport.h"

#include <algorithm>

namespace towerlink {
namespace {

// A pseudo-terminal behind Wine's COM port cannot take parity; what matters is that the rest of
// the line settings hold.
bool lineUsable(HANDLE port) {
    DCB now{};
    now.DCBlength = sizeof(now);
    return GetCommState(port, &now) && now.BaudRate == CBR_2400 && now.ByteSize == 8;
}

}  // namespace

Win32SerialTransport::Win32SerialTransport(kestrel::Win32Handle port, std::string name)
    : port_(std::move(port)), name_(std::move(name)) {}

Result<std::unique_ptr<Win32SerialTransport>, Failure> Win32SerialTransport::open(int number) {
    const std::string name = "COM" + std::to_string(number);
    const std::wstring path = L"\\\\.\\COM" + std::to_wstring(number);
    kestrel::Win32Handle port(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (!port) {
        return Failure{LinkError::NoTower, "opening " + name, static_cast<int>(GetLastError())};
    }
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(port.get(), &dcb)) {
        return Failure{LinkError::NoTower, name + " is not a serial port",
                       static_cast<int>(GetLastError())};
    }
    dcb.BaudRate = CBR_2400;
    dcb.ByteSize = 8;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // The serial tower draws its power from the control lines.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(port.get(), &dcb) && !lineUsable(port.get())) {
        return Failure{LinkError::NoTower, "setting up " + name, static_cast<int>(GetLastError())};
    }
    PurgeComm(port.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    std::unique_ptr<Win32SerialTransport> transport(
        new Win32SerialTransport(std::move(port), name));
    if (!transport->setReadWait(Micros{0})) {
        return Failure{LinkError::NoTower, "setting the time-outs of " + name,
                       static_cast<int>(GetLastError())};
    }
    return transport;
}

bool Win32SerialTransport::setReadWait(Micros wait) {
    const DWORD ms = toMilliseconds(wait);
    COMMTIMEOUTS t{};
    if (ms == 0) {
        t.ReadIntervalTimeout = MAXDWORD;  // return at once with what is there
    } else {
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = ms;
    }
    // A request is at most a few dozen bytes of 4.6 ms each; a stuck line must not hang a call.
    t.WriteTotalTimeoutMultiplier = 10;
    t.WriteTotalTimeoutConstant = 1000;
    if (!SetCommTimeouts(port_.get(), &t)) return false;
    readWaitMs_ = ms;
    return true;
}

IoResult Win32SerialTransport::write(std::span<const std::uint8_t> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(port_.get(), bytes.data() + written,
                       static_cast<DWORD>(bytes.size() - written), &n, nullptr)) {
            return IoResult::failure("writing to " + name_, static_cast<int>(GetLastError()),
                                     written);
        }
        if (n == 0) return IoResult::failure("writing to " + name_, ERROR_TIMEOUT, written);
        written += n;
    }
    return IoResult::done(written);
}

IoResult Win32SerialTransport::read(std::span<std::uint8_t> buffer, Micros firstByte,
                                    Micros interByte) {
    std::size_t count = 0;
    Micros wait = firstByte;
    while (count < buffer.size()) {
        if (toMilliseconds(wait) != readWaitMs_ && !setReadWait(wait)) {
            return IoResult::failure("setting the time-outs of " + name_,
                                     static_cast<int>(GetLastError()), count);
        }
        DWORD n = 0;
        if (!ReadFile(port_.get(), buffer.data() + count, static_cast<DWORD>(buffer.size() - count),
                      &n, nullptr)) {
            return IoResult::failure("reading from " + name_, static_cast<int>(GetLastError()),
                                     count);
        }
        if (n == 0) break;
        count += n;
        wait = interByte;
    }
    return IoResult::done(count);
}

void Win32SerialTransport::discardInput() {
    PurgeComm(port_.get(), PURGE_RXCLEAR);
}

}  // namespace towerlink
