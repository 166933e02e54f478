// A virtual brick behind a serial tower that any program can open: a new pseudo-terminal whose
// far end behaves as the tower does, echoing each request and then delivering the brick's
// reply, optionally at the pace of a 2400 baud 8O1 line. As on infrared it is half duplex: what
// arrives while the brick is transmitting its reply never reaches the brick (the tower still
// echoes it). POSIX only.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "LinkError.h"
#include "Result.h"
#include "UniqueFd.h"
#include "VirtualBrick.h"

namespace towerlink {

struct PtyBrickOptions {
    bool pace = false;  // one byte per 11 bit times, as on the real line
    bool echo = true;   // a serial tower hears itself
};

class PtyBrickServer {
public:
    static constexpr int kProgramTickMs = 5;  // how often running programs catch up when idle

    static Result<std::unique_ptr<PtyBrickServer>, Failure> create(VirtualBrick& brick,
                                                                   PtyBrickOptions options = {});
    ~PtyBrickServer();
    PtyBrickServer(const PtyBrickServer&) = delete;
    PtyBrickServer& operator=(const PtyBrickServer&) = delete;

    // Path of the terminal that clients open, e.g. /dev/pts/3.
    const std::string& path() const { return path_; }

    // Lines read from `fd` (a console, standard input) while serving go to `onLine`, between
    // requests; end of input stops the reading, not the serving.
    void setConsole(int fd, std::function<void(std::string_view)> onLine);

    // Serves until stop(); the brick is used from this thread only.
    void serve();
    // Ends serve(); safe to call from another thread or a signal handler.
    void stop();
    // Makes the brick stop transmitting for `length` from now, as a brick whose processor is
    // busy does, and then carry on where it was; safe from another thread or a signal handler.
    void pause(Micros length);

private:
    PtyBrickServer(VirtualBrick& brick, PtyBrickOptions options, UniqueFd master, UniqueFd slave,
                   UniqueFd wakeRead, UniqueFd wakeWrite, std::string path);
    // Sends `bytes` as one burst; collects into `heard` (when given) what arrives meanwhile.
    // False when stop() came first.
    bool send(const Bytes& bytes, Micros& lineFree, Bytes* heard);
    // Waits as long as the client's side is full; false when stop() came first.
    bool writeByte(std::uint8_t byte);
    void readConsole();
    // Waits until `when`, reading into `heard` whatever arrives meanwhile.
    void waitUntil(Micros when, Bytes* heard);

    VirtualBrick& brick_;
    PtyBrickOptions options_;
    UniqueFd master_;
    UniqueFd slave_;  // kept open so the terminal survives clients that come and go
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;
    std::string path_;
    std::atomic<std::int64_t> pausedUntil_{0};
    std::atomic<bool> stopping_{false};
    int consoleFd_ = -1;
    std::function<void(std::string_view)> onLine_;
    std::string consoleLine_;  // the part of a line read so far
};

}  // namespace towerlink
