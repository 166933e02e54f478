// Datalog byte access on top of upload requests.
#include "Datalog.h"

#include <algorithm>

#include "ByteOrder.h"
#include "Opcodes.h"

namespace towerlink {
namespace {

// Failures that a noisy line explains; anything else ends a read at once.
bool noisy(const Failure& f) {
    return f.error == LinkError::BadCommunication || f.error == LinkError::NoBrick;
}

}  // namespace

int Datalog::chunkSize(int records) {
    if (records <= 0) return 0;
    const int chunks = (records + kMaxUploadRecords - 1) / kMaxUploadRecords;
    return (records + chunks - 1) / chunks;
}

Result<std::int32_t, Failure> Datalog::extent() {
    ExecuteResult size = session_.execute(Request::uploadDatalog(0, 1));
    // On a noisy line the short request may need more than one exchange's attempts.
    for (int i = 1; i < kUploadFailures / 4 && !size && noisy(size.error()); ++i) {
        size = session_.execute(Request::uploadDatalog(0, 1));
    }
    if (!size) return size.error();
    const Bytes& d = size->data;
    std::int32_t entries = 0;
    if (d.size() == 3 && d[0] == 0xFF) entries = readU16(d, 1);
    extent_ = kBytesPerEntry * entries;
    return *extent_;
}

Result<Bytes, Failure> Datalog::readBytes(std::int64_t first, std::int64_t count) {
    if (count <= 0) return Bytes{};
    if (!extent_) {
        auto e = extent();
        if (!e) return e.error();
    }
    const std::int64_t begin = std::max<std::int64_t>(first, 0);
    const std::int64_t end = std::min<std::int64_t>(first + count, *extent_);
    if (begin >= end) return Bytes{};

    const int firstEntry = static_cast<int>(begin / kBytesPerEntry);
    const int lastEntry = static_cast<int>((end - 1) / kBytesPerEntry);
    Bytes records;
    int entry = firstEntry;
    if (entry == 0) {
        // The size entry is known from the extent; asking for it again would cost a record.
        const int size = *extent_ / kBytesPerEntry;
        records = {0xFF};
        pushU16(records, size);
        entry = 1;
    }
    const int firstFetched = entry;
    const int total = lastEntry + 1 - firstFetched;
    const int largest = chunkSize(total);
    int chunk = largest;
    int failures = 0, silentPings = 0;
    while (entry <= lastEntry) {
        const int n = std::min(chunk, lastEntry + 1 - entry);
        ExecuteResult r = session_.executeUnlessDamaged(Request::uploadDatalog(
            static_cast<std::uint16_t>(entry), static_cast<std::uint16_t>(n)));
        if (!r) {
            const LinkError e = r.error().error;
            if (!noisy(r.error()) || ++failures >= kUploadFailures) {
                return r.error();
            }
            if (e == LinkError::BadCommunication) {
                chunk = std::max(1, n > 8 ? n / 4 : n / 2);
                continue;
            }
            // Silence: the request was lost on its way, or the brick is gone; a brick that
            // stays silent to two rounds of pings in a row is taken as gone.
            ExecuteResult ping = session_.execute(Request::alive());
            silentPings = ping && ping->value == 0 ? silentPings + 1 : 0;
            if (silentPings >= 2) return r.error();
            continue;
        }
        failures = silentPings = 0;
        if (r->data.size() != static_cast<std::size_t>(kBytesPerEntry * n)) {
            // The log shrank since its extent was read: what exists has been returned.
            extent_.reset();
            break;
        }
        records.insert(records.end(), r->data.begin(), r->data.end());
        entry += n;
        if (onProgress_) onProgress_(entry - firstFetched, total);
        // Shrinking fast on damage and growing slowly settles near the size that moves the
        // most records per second on this line.
        chunk = std::min(largest, chunk + std::max(1, chunk / 4));
    }
    const std::size_t skip =
        static_cast<std::size_t>(begin - std::int64_t{firstEntry} * kBytesPerEntry);
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (records.size() <= skip) return Bytes{};
    return Bytes(
        records.begin() + static_cast<std::ptrdiff_t>(skip),
        records.begin() + static_cast<std::ptrdiff_t>(std::min(records.size(), skip + length)));
}

}  // namespace towerlink
