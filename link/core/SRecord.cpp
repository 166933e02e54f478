// S-record parsing, one line at a time.
#include "SRecord.h"

#include <cstdio>

namespace towerlink {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string hex4(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(v));
    return text;
}

// Address length in bytes of each record type, 0 for types that do not exist.
constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

}  // namespace

bool insideFirmwareArea(std::uint32_t address, std::uint32_t length) {
    // Subtracting rather than adding: address + length wraps for records near 0xFFFFFFFF.
    return address >= kFirmwareAreaStart && address <= kFirmwareAreaEnd &&
           length <= kFirmwareAreaEnd - address;
}

std::string describe(const SRecordError& error) {
    if (error.line == 0) return error.message;
    return "line " + std::to_string(error.line) + ": " + error.message;
}

Result<FirmwareImage, SRecordError> readSRecords(std::string_view text) {
    FirmwareImage image;
    std::uint32_t end = kFirmwareAreaStart;  // first address not yet written
    bool anyData = false, ended = false;
    int lineNumber = 0;
    std::uint32_t dataRecords = 0;
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        return SRecordError{0, "the file is empty"};
    }
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        auto fail = [&](std::string message) -> Result<FirmwareImage, SRecordError> {
            return SRecordError{lineNumber, std::move(message)};
        };
        if (ended) return fail("data after the end record");
        if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9' ||
            kAddressBytes[line[1] - '0'] == 0) {
            return fail("not an S-record (S0-S3, S5-S9)");
        }
        const int type = line[1] - '0';
        Bytes bytes;
        for (std::size_t i = 2; i < line.size(); i += 2) {
            const int hi = hexDigit(line[i]);
            if (hi < 0) return fail("bad hex digit at column " + std::to_string(i + 1));
            if (i + 1 == line.size())
                return fail("an odd number of hex digits: half a byte at the end");
            const int lo = hexDigit(line[i + 1]);
            if (lo < 0) return fail("bad hex digit at column " + std::to_string(i + 2));
            bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
        }
        const std::size_t addressBytes = static_cast<std::size_t>(kAddressBytes[type]);
        if (bytes[0] + 1u != bytes.size() || bytes.size() < addressBytes + 2) {
            return fail("the byte count does not match the record's length");
        }
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        if (static_cast<std::uint8_t>(~sum) != bytes.back()) return fail("bad checksum");
        std::uint32_t address = 0;
        for (std::size_t i = 1; i <= addressBytes; ++i) address = address << 8 | bytes[i];
        const auto length = static_cast<std::uint32_t>(bytes.size() - addressBytes - 2);

        if (type >= 1 && type <= 3) {
            ++dataRecords;
            // A record without data puts nothing in the image, wherever it points.
            if (length == 0) continue;
            if (!insideFirmwareArea(address, length)) {
                return fail("data at " + hex4(address) + " lies outside the firmware area " +
                            hex4(kFirmwareAreaStart) + "-" + hex4(kFirmwareAreaEnd - 1));
            }
            if (address < end && anyData) {
                return fail("data at " + hex4(address) + " overlaps or precedes data before it");
            }
            image.data.resize(address - kFirmwareAreaStart, 0);
            image.data.insert(image.data.end(), bytes.begin() + 1 + addressBytes, bytes.end() - 1);
            end = address + length;
            anyData = true;
        } else if (type == 5 || type == 6) {
            if (address != dataRecords) {
                return fail("the record count says " + std::to_string(address) + ", but " +
                            std::to_string(dataRecords) + " data records come before it");
            }
        } else if (type >= 7) {
            if (address < kFirmwareAreaStart || address >= kFirmwareAreaEnd) {
                return fail("entry " + hex4(address) + " lies outside the firmware area");
            }
            image.entry = address;
            ended = true;
        }
    }
    if (!ended) return SRecordError{0, "no end record (S7, S8 or S9): the file is cut short"};
    if (!anyData) return SRecordError{0, "the file holds no data records"};
    return image;
}

}  // namespace towerlink
