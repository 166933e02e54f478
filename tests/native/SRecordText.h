// Firmware file lines for tests: one S-record with its count and checksum worked out.
#pragma once

#include <cstdio>
#include <string>

#include "Packet.h"

namespace towerlink::test {

// `fixCount` is added to the byte count, to make a line whose count is wrong.
inline std::string srec(int type, std::uint32_t address, const Bytes& data, int fixCount = 0) {
    const int addressBytes = type == 2 || type == 8 ? 3 : type == 3 || type == 7 ? 4 : 2;
    Bytes body{static_cast<std::uint8_t>(addressBytes + data.size() + 1 + fixCount)};
    for (int i = addressBytes - 1; i >= 0; --i) body.push_back((address >> (8 * i)) & 0xFF);
    body.insert(body.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (std::uint8_t b : body) sum += b;
    body.push_back(static_cast<std::uint8_t>(~sum));
    std::string line = "S" + std::to_string(type);
    char hex[3];
    for (std::uint8_t b : body) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\n";
}

}  // namespace towerlink::test
