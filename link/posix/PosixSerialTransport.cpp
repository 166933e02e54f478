// Opening and configuring a serial port for the tower.
#include "PosixSerialTransport.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace towerlink {
namespace {

// A pseudo-terminal has no line and drops the parity flag; the C library may then report the
// whole request as failed although everything that matters for it took effect.
bool essentialsApplied(int fd) {
    termios now{};
    return ::tcgetattr(fd, &now) == 0 && (now.c_cflag & CSIZE) == CS8 &&
           (now.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (now.c_oflag & OPOST) == 0;
}

}  // namespace

Result<std::unique_ptr<PosixSerialTransport>, Failure> PosixSerialTransport::open(
    const std::string& path) {
    // O_NOCTTY: the tower must never become our controlling terminal.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!fd) {
        const int e = errno;
        return Failure{LinkError::NoTower, "cannot open " + path + ": " + std::strerror(e), e};
    }
    termios tio{};
    if (::tcgetattr(fd.get(), &tio) != 0) {
        const int e = errno;
        return Failure{LinkError::NoTower, path + " is not a serial port: " + std::strerror(e), e};
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | PARENB | PARODD | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B2400);
    ::cfsetospeed(&tio, B2400);
    if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0 && !essentialsApplied(fd.get())) {
        const int e = errno;
        return Failure{LinkError::NoTower, "cannot configure " + path + ": " + std::strerror(e), e};
    }
    ::tcflush(fd.get(), TCIOFLUSH);
    return std::unique_ptr<PosixSerialTransport>(new PosixSerialTransport(std::move(fd), path));
}

void PosixSerialTransport::discardInput() {
    ::tcflush(fd(), TCIFLUSH);
    FdTransport::discardInput();
}

}  // namespace towerlink
