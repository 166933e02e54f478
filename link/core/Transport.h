// The one seam between the protocol and a tower. Each kind of tower (in-memory, POSIX serial,
// Linux USB, and on Windows the serial and USB towers of the COM component) implements it in a
// file of its own; nothing above this line knows which one it talks to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "Clock.h"

namespace towerlink {

struct IoResult {
    std::size_t count = 0;  // bytes moved, also when the call failed part-way
    bool failed = false;    // the device is unusable (unplugged, closed, I/O error)
    int osError = 0;        // errno or GetLastError() behind a failure
    std::string detail;     // what was being done, for the message

    static IoResult done(std::size_t count) { return {count, false, 0, {}}; }
    static IoResult failure(std::string detail, int osError, std::size_t count = 0) {
        return {count, true, osError, std::move(detail)};
    }
};

class Transport {
public:
    virtual ~Transport() = default;

    virtual IoResult write(std::span<const std::uint8_t> bytes) = 0;

    // Waits up to `firstByte` for a first byte; after that keeps collecting as long as each
    // further byte follows within `interByte`, and returns as soon as `buffer` is full. A
    // count of 0 without failure means silence.
    virtual IoResult read(std::span<std::uint8_t> buffer, Micros firstByte, Micros interByte) = 0;

    // True when everything written comes back first (the serial tower hears itself).
    virtual bool echoes() const = 0;

    // Drops whatever has arrived and was not read, so an exchange starts clean.
    virtual void discardInput() = 0;
};

}  // namespace towerlink
