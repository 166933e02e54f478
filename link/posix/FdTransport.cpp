// poll()-driven reads and writes on a non-blocking descriptor.
#include "FdTransport.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace towerlink {
namespace {

// Waits for `events` on fd; returns >0 ready, 0 time-out, <0 error (errno set).
int waitFor(int fd, short events, Micros timeout) {
    // poll() counts whole milliseconds; rounded up, a short wait never becomes a busy loop.
    const int ms = static_cast<int>(toMilliseconds(timeout));
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) {
            errno = EIO;
            return -1;
        }
        return r;
    }
}

}  // namespace

FdTransport::~FdTransport() = default;

IoResult FdTransport::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && waitFor(fd(), POLLOUT, Micros{1000000}) > 0) continue;
        return IoResult::failure("writing to " + path_, errno, done);
    }
    return IoResult::done(done);
}

IoResult FdTransport::read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) {
    std::size_t done = 0;
    Micros wait = firstByte;
    while (done < buffer.size()) {
        int ready = waitFor(fd(), POLLIN, wait);
        if (ready == 0) break;
        if (ready < 0) return IoResult::failure("reading from " + path_, errno, done);
        ssize_t n = ::read(fd(), buffer.data() + done, buffer.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return IoResult::failure("reading from " + path_, n < 0 ? errno : EIO, done);
        done += static_cast<std::size_t>(n);
        wait = interByte;
    }
    return IoResult::done(done);
}

void FdTransport::discardInput() {
    std::uint8_t scrap[256];
    while (::read(fd(), scrap, sizeof scrap) > 0) {
    }
}

}  // namespace towerlink
