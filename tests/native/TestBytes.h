// Hex text to bytes, so test vectors read as they appear in a wire dump.
#pragma once

#include <sstream>
#include <string>

#include "Packet.h"

namespace towerlink::test {

inline Bytes bytes(const std::string& hex) {
    Bytes out;
    std::istringstream in(hex);
    unsigned value;
    while (in >> std::hex >> value) out.push_back(static_cast<std::uint8_t>(value));
    return out;
}

// The packet that carries the payload written as hex.
inline Bytes packet(const std::string& hex) {
    return encodePacket(bytes(hex));
}

}  // namespace towerlink::test
