// Shared body of the POSIX towers: a file descriptor read and written without blocking, with
// poll() providing the first-byte and inter-byte time-outs. POSIX only.
#pragma once

#include <string>

#include "Transport.h"
#include "UniqueFd.h"

namespace towerlink {

class FdTransport : public Transport {
public:
    ~FdTransport() override;
    FdTransport(const FdTransport&) = delete;
    FdTransport& operator=(const FdTransport&) = delete;

    IoResult write(std::span<const std::uint8_t> bytes) override;
    IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) override;
    void discardInput() override;

    const std::string& path() const { return path_; }

protected:
    FdTransport(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
    int fd() const { return fd_.get(); }

private:
    UniqueFd fd_;
    std::string path_;
};

}  // namespace towerlink
