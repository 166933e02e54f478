// Owning POSIX file descriptor: closed exactly once, by whoever holds it last, with the same
// verbs as the Windows holders (get, reset, release, put). POSIX only.
#pragma once

#include <unistd.h>

#include <utility>

namespace towerlink {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd < 0 ? -1 : fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    void reset() {
        if (int fd = std::exchange(fd_, -1); fd >= 0) ::close(fd);
    }
    int release() { return std::exchange(fd_, -1); }
    // For calls that hand out new descriptors through a pointer (pipe() takes two: use an array).
    int* put() {
        reset();
        return &fd_;
    }

private:
    int fd_ = -1;
};

}  // namespace towerlink
