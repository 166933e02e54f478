// Hex dumps of wire bytes for traces and the command-line tool: "55 FF 00 10 EF".
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace towerlink {

std::string hexBytes(std::span<const std::uint8_t> bytes);

}  // namespace towerlink
