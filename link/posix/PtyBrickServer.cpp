// Pseudo-terminal setup and the serve loop of the virtual serial tower.
#include "PtyBrickServer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace towerlink {
namespace {

Failure osFailure(const std::string& what) {
    const int e = errno;
    return {LinkError::NoTower, what + ": " + std::strerror(e), e};
}

}  // namespace

Result<std::unique_ptr<PtyBrickServer>, Failure> PtyBrickServer::create(VirtualBrick& brick,
                                                                        PtyBrickOptions options) {
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!master) return osFailure("cannot create a pseudo-terminal");
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        return osFailure("cannot unlock the pseudo-terminal");
    }
    std::string path = ::ptsname(master.get());
    UniqueFd slave(::open(path.c_str(), O_RDWR | O_NOCTTY));
    if (!slave) return osFailure("cannot open " + path);
    // Raw from the start: a line discipline that echoes or translates would corrupt frames
    // for clients that do not configure the port themselves.
    termios tio{};
    ::tcgetattr(slave.get(), &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave.get(), TCSANOW, &tio);
    int wake[2];
    if (::pipe(wake) != 0) return osFailure("cannot create a pipe");
    UniqueFd wakeRead(wake[0]);
    UniqueFd wakeWrite(wake[1]);
    ::fcntl(wakeWrite.get(), F_SETFL, O_NONBLOCK);
    // A client that stops reading fills the terminal; writes then wait in poll() beside the
    // stop request rather than inside write(), where no stop would reach them.
    ::fcntl(master.get(), F_SETFL, O_NONBLOCK);
    return std::unique_ptr<PtyBrickServer>(new PtyBrickServer(brick, options, std::move(master),
                                                              std::move(slave), std::move(wakeRead),
                                                              std::move(wakeWrite), path));
}

PtyBrickServer::PtyBrickServer(VirtualBrick& brick, PtyBrickOptions options, UniqueFd master,
                               UniqueFd slave, UniqueFd wakeRead, UniqueFd wakeWrite,
                               std::string path)
    : brick_(brick),
      options_(options),
      master_(std::move(master)),
      slave_(std::move(slave)),
      wakeRead_(std::move(wakeRead)),
      wakeWrite_(std::move(wakeWrite)),
      path_(std::move(path)) {}

PtyBrickServer::~PtyBrickServer() = default;

void PtyBrickServer::stop() {
    stopping_.store(true);
    const char c = 0;
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_.get(), &c, 1);
}

void PtyBrickServer::pause(Micros length) {
    pausedUntil_.store((SystemClock().now() + length).count());
}

void PtyBrickServer::waitUntil(Micros when, Bytes* heard) {
    // Programs keep up byte by byte, so that the next request finds little to catch up on.
    brick_.runPrograms();
    SystemClock clock;
    if (heard == nullptr) {
        clock.sleepUntil(when);
        return;
    }
    for (Micros now = clock.now(); now < when; now = clock.now()) {
        pollfd p{master_.get(), POLLIN, 0};
        const int ms = static_cast<int>((when - now).count() / 1000);
        if (::poll(&p, 1, ms) > 0 && (p.revents & POLLIN)) {
            std::uint8_t buffer[256];
            const ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
            if (n > 0) heard->insert(heard->end(), buffer, buffer + n);
        } else if (ms == 0) {
            clock.sleepUntil(when);
        }
    }
}

// Writes `bytes` to the client. When pacing, the burst is timed from one anchor, so that late
// wake-ups do not add up: byte i leaves at anchor + (i + 1) byte times, after whatever the line
// is still busy with. A pause moves the anchor on.
bool PtyBrickServer::writeByte(std::uint8_t byte) {
    while (!stopping_.load()) {
        if (::write(master_.get(), &byte, 1) == 1) return true;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return true;  // dropped
        pollfd fds[2] = {{master_.get(), POLLOUT, 0}, {wakeRead_.get(), POLLIN, 0}};
        ::poll(fds, 2, -1);
    }
    return false;
}

bool PtyBrickServer::send(const Bytes& bytes, Micros& lineFree, Bytes* heard) {
    SystemClock clock;
    Micros anchor = std::max(lineFree, clock.now());
    const Micros byteTime = options_.pace ? kByteTime : Micros{0};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const Micros start = anchor + byteTime * static_cast<std::int64_t>(i);
        const Micros paused{pausedUntil_.load()};
        if (paused > start) anchor += paused - start;
        waitUntil(anchor + byteTime * static_cast<std::int64_t>(i + 1), heard);
        if (!writeByte(bytes[i])) return false;
    }
    lineFree = anchor + byteTime * static_cast<std::int64_t>(bytes.size());
    return true;
}

void PtyBrickServer::setConsole(int fd, std::function<void(std::string_view)> onLine) {
    consoleFd_ = fd;
    onLine_ = std::move(onLine);
}

void PtyBrickServer::readConsole() {
    char buffer[256];
    const ssize_t n = ::read(consoleFd_, buffer, sizeof buffer);
    if (n <= 0) {
        if (n < 0 && errno == EINTR) return;
        consoleFd_ = -1;  // end of input: serve on without a console
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\n') {
            consoleLine_ += buffer[i];
            continue;
        }
        onLine_(consoleLine_);
        consoleLine_.clear();
    }
}

void PtyBrickServer::serve() {
    std::uint8_t buffer[512];
    Micros lineFree{0};
    for (;;) {
        pollfd fds[3] = {
            {master_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}, {consoleFd_, POLLIN, 0}};
        // Running programs need the brick's time to move on even when nobody talks to it.
        const int timeout = brick_.interpreter().anyRunning() ? kProgramTickMs : -1;
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents || stopping_.load()) return;
        brick_.runPrograms();
        if (consoleFd_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) readConsole();
        if (!(fds[0].revents & POLLIN)) continue;
        ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
        if (n <= 0) continue;
        const Bytes received(buffer, buffer + n);
        if (options_.echo && !send(received, lineFree, nullptr)) return;
        Bytes reply = brick_.receive(received);
        if (reply.empty()) continue;
        if (brick_.faults().replyDelay > Micros{0}) {
            SystemClock clock;
            clock.sleepUntil(std::max(lineFree, clock.now()) + brick_.faults().replyDelay);
        }
        Bytes lost;
        if (!send(reply, lineFree, &lost)) return;
        // The brick was transmitting while these arrived, so it never heard them.
        if (options_.echo && !send(lost, lineFree, nullptr)) return;
    }
}

}  // namespace towerlink
