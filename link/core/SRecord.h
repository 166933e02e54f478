// Reads a firmware file: Motorola S-record text, as the brick maker ships its firmware (.lgo).
// Data records (S1/S2/S3) must lie inside the brick's firmware area, in rising address order
// without overlap; every record's checksum is checked; an end record (S7/S8/S9) gives the entry.
// Header records (S0) are checked and otherwise ignored; record counts (S5/S6) must match the
// data records before them; data records without data are ignored. Gaps between
// records are filled with zeros, since the brick receives the image as one run of bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Packet.h"
#include "Result.h"

namespace towerlink {

// Where firmware lives in the brick's memory: from the entry address up to the on-chip area.
inline constexpr std::uint32_t kFirmwareAreaStart = 0x8000;
inline constexpr std::uint32_t kFirmwareAreaEnd = 0xF000;  // first address past the area

// The largest firmware file the readers take: the firmware area as S-records, with generous
// room for long lines and comments.
inline constexpr std::uint32_t kMaxFirmwareFileBytes = 1 << 20;

struct FirmwareImage {
    Bytes data;                                // the bytes from kFirmwareAreaStart on
    std::uint32_t entry = kFirmwareAreaStart;  // where the brick starts it
};

struct SRecordError {
    int line = 0;  // 1-based; 0 for faults of the file as a whole
    std::string message;
};

Result<FirmwareImage, SRecordError> readSRecords(std::string_view text);

// Whether `length` bytes from `address` lie inside the firmware area, without wrapping at the
// top of the 32-bit address space.
bool insideFirmwareArea(std::uint32_t address, std::uint32_t length);

// "line 12: bad checksum" or the message alone when no line is concerned.
std::string describe(const SRecordError& error);

}  // namespace towerlink
