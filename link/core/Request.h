// One RCX request, as the parser produces it and the session sends it: the payload with the
// opcode in its base spelling. The session chooses the toggle bit when it sends.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Packet.h"

namespace towerlink {

struct Request {
    Bytes payload;  // opcode (toggle bit clear), then its parameters

    std::uint8_t opcode() const { return payload.empty() ? 0 : payload[0]; }
    bool operator==(const Request&) const = default;

    static Request alive();
    static Request getVersions();
    static Request getBattery();
    static Request uploadDatalog(std::uint16_t first, std::uint16_t count);
    // One block of a firmware or program download: its number (the last one 0), its length,
    // the data and their checksum.
    static Request transferData(int block, std::span<const std::uint8_t> data);
};

// How messages name a download's block: "block 3", "the last block (0)".
std::string blockText(int block);

// What a well-formed reply to `request` carries.
struct ReplyShape {
    bool expected = true;        // false: the brick never answers this request
    std::size_t dataLength = 0;  // data bytes after the reply opcode
    bool mayBeEmpty = false;     // an upload outside the log comes back with no records
};

ReplyShape replyShape(const Request& request);

// Whether the data of a Get versions reply says the brick holds no firmware: the ROM answers
// alone and reports the firmware version as all zeros.
bool reportsNoFirmware(const Bytes& versions);

}  // namespace towerlink
