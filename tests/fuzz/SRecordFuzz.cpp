// libFuzzer target: arbitrary text through the firmware file reader. Whatever it accepts must fit
// the firmware area and read back the same when written out again as S-records; whatever it
// rejects must name a line that exists (or none). The first eight bytes also make an address
// and a length for the range check, which must agree with the same check done in 64 bits.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "SRecord.h"
#include "SRecordText.h"

using namespace towerlink;
using test::srec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 8) {
        std::uint32_t address = 0, length = 0;
        for (int i = 0; i < 4; ++i) {
            address = address << 8 | data[i];
            length = length << 8 | data[4 + i];
        }
        const std::uint64_t end = std::uint64_t{address} + length;
        const bool inside = address >= kFirmwareAreaStart && end <= kFirmwareAreaEnd;
        if (insideFirmwareArea(address, length) != inside) std::abort();
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto image = readSRecords(text);
    if (!image.ok()) {
        const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        if (image.error().line < 0 || image.error().line > lines) std::abort();
        return 0;
    }
    const Bytes& bytes = image->data;
    if (bytes.empty() || bytes.size() > kFirmwareAreaEnd - kFirmwareAreaStart ||
        image->entry < kFirmwareAreaStart || image->entry >= kFirmwareAreaEnd) {
        std::abort();
    }
    std::string again;
    for (std::size_t at = 0; at < bytes.size(); at += 32) {
        const std::size_t n = std::min<std::size_t>(32, bytes.size() - at);
        again += srec(2, kFirmwareAreaStart + static_cast<std::uint32_t>(at),
                      Bytes(bytes.begin() + at, bytes.begin() + at + n));
    }
    again += srec(8, image->entry, {});
    auto back = readSRecords(again);
    if (!back.ok() || back->data != bytes || back->entry != image->entry) std::abort();
    return 0;
}
