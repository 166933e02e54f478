// The brick's datalog as a run of bytes, three per entry (type, value low, value high), entry 0
// being the size entry. Reads go to the brick through upload requests; a range is fetched in
// as few balanced chunks as the serial tower can carry in one reply each. On a noisy line long
// replies rarely arrive whole, so after a damaged reply the next upload asks for a quarter as
// many records (half as many once it is down to eight, and never fewer than one), and each clean
// reply lets the size grow back by a quarter.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "CommandParser.h"
#include "Result.h"
#include "Session.h"

namespace towerlink {

class Datalog {
public:
    // Records fetched so far and records to fetch, after every upload reply.
    using ProgressHandler = std::function<void(int done, int total)>;

    static constexpr int kBytesPerEntry = 3;

    explicit Datalog(Session& session) : session_(session) {}

    // Asks the brick how large its log is: 3 x (entries including the size entry), 0 when the
    // brick holds no datalog. Later reads use this figure until it is asked for again.
    Result<std::int32_t, Failure> extent();

    // The bytes at positions first .. first+count-1; fewer when the range runs past the end,
    // none when count <= 0 or the range lies wholly outside the log.
    Result<Bytes, Failure> readBytes(std::int64_t first, std::int64_t count);

    void setProgressHandler(ProgressHandler handler) { onProgress_ = std::move(handler); }

    // How many records each upload asks for when `records` are to be read: the fewest chunks
    // of at most kMaxUploadRecords, evened out so the last one is not a tiny straggler.
    static int chunkSize(int records);

    // Failed uploads in a row after which a read gives up. A damaged reply costs a single send:
    // it is followed by a shorter request rather than by the same one again.
    static constexpr int kUploadFailures = 24;

private:
    Session& session_;
    std::optional<std::int32_t> extent_;
    ProgressHandler onProgress_;
};

}  // namespace towerlink
