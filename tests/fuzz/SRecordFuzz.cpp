// libFuzzer target: arbitrary text through the firmware file reader. Whatever it accepts must fit
// the firmware area and read back the same when written out again as S-records; whatever it
// rejects must name a line that exists (or none).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "SRecord.h"

using namespace towerlink;

namespace {

std::string record(int type, std::uint32_t address, const std::uint8_t* data, std::size_t n) {
    std::uint8_t body[64];
    std::size_t k = 0;
    body[k++] = static_cast<std::uint8_t>(n + 4);
    body[k++] = 0;
    body[k++] = static_cast<std::uint8_t>(address >> 8);
    body[k++] = static_cast<std::uint8_t>(address);
    for (std::size_t i = 0; i < n; ++i) body[k++] = data[i];
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < k; ++i) sum = static_cast<std::uint8_t>(sum + body[i]);
    body[k++] = static_cast<std::uint8_t>(~sum);
    std::string line = "S" + std::to_string(type);
    char hex[3];
    for (std::size_t i = 0; i < k; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", body[i]);
        line += hex;
    }
    return line + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
        again += record(2, kFirmwareAreaStart + static_cast<std::uint32_t>(at), &bytes[at], n);
    }
    const std::uint8_t none = 0;
    again += record(8, image->entry, &none, 0);
    auto back = readSRecords(again);
    if (!back.ok() || back->data != bytes || back->entry != image->entry) std::abort();
    return 0;
}
