// The tool's program commands: `towerlink programs` (what the brick's memory holds, from its
// memory map) and `towerlink download` (an NQC image file onto the brick).
#pragma once

#include <span>
#include <string>

#include "Packet.h"
#include "RcxImage.h"
#include "Result.h"

namespace towerlink::tool {

// The image in the file at `path`, or the sentence to print when it cannot be read or is not
// an image the RCX takes.
Result<RcxImage, std::string> readProgramFile(const std::string& path);

// The lines `towerlink programs` prints for a Get memory map reply (94 big-endian words):
// "program P task N: L bytes" / "program P sub N: L bytes" for each stored chunk, programs
// counted from 1 as the brick's display does, then "free: F bytes". Empty when the reply is not
// a memory map.
std::string describeMemoryMap(std::span<const std::uint8_t> map);

}  // namespace towerlink::tool
