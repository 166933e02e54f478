// Reading program files and the brick's memory map for the tool.
#include "ProgramCommands.h"

#include <sstream>

#include "ByteOrder.h"
#include "MemoryMap.h"
#include "RegularFile.h"

namespace towerlink::tool {
namespace {

using namespace memory_map;  // the layout of the reply read here

int word(std::span<const std::uint8_t> map, std::size_t i) {
    return readBigU16(map, 2 * i);
}

}  // namespace

Result<RcxImage, std::string> readProgramFile(const std::string& path) {
    auto content = readRegularFile(path, kMaxProgramFileSize);
    if (!content) return content.error().message;
    const std::string& text = content.value();
    auto image =
        readRcxImage(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!image) return path + ": " + describe(image.error());
    return std::move(image.value());
}

std::string describeMemoryMap(std::span<const std::uint8_t> map) {
    if (map.size() != 2 * kWords) return {};
    // Chunks lie in the order of the map without gaps, so each one's length is the distance to
    // the next start (the datalog's start after the last task).
    auto length = [&](std::size_t i) { return word(map, i + 1) - word(map, i); };
    std::ostringstream out;
    for (int slot = 0; slot < kSlots; ++slot) {
        for (int t = 0; t < kTasks; ++t) {
            const int l = length(taskWord(slot, t));
            if (l > 0) out << "program " << slot + 1 << " task " << t << ": " << l << " bytes\n";
        }
        for (int s = 0; s < kSubroutines; ++s) {
            const int l = length(subroutineWord(slot, s));
            if (l > 0) out << "program " << slot + 1 << " sub " << s << ": " << l << " bytes\n";
        }
    }
    out << "free: " << word(map, kLastValid) - word(map, kFirstFree) << " bytes\n";
    return out.str();
}

}  // namespace towerlink::tool
