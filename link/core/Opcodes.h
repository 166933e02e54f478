// The RCX direct-command opcodes the link and the virtual brick know, with the shape of their
// requests and replies. Both sides look opcodes up by their base form (toggle bit clear).
#pragma once

#include <cstddef>
#include <cstdint>

namespace towerlink::op {

inline constexpr std::uint8_t kAlive = 0x10;
inline constexpr std::uint8_t kGetValue = 0x12;
inline constexpr std::uint8_t kSetPower = 0x13;
inline constexpr std::uint8_t kSetVariable = 0x14;
inline constexpr std::uint8_t kGetVersions = 0x15;
inline constexpr std::uint8_t kGetMemoryMap = 0x20;
inline constexpr std::uint8_t kSetMotorOnOff = 0x21;
inline constexpr std::uint8_t kSetTime = 0x22;
inline constexpr std::uint8_t kPlayTone = 0x23;
inline constexpr std::uint8_t kAddVariable = 0x24;
inline constexpr std::uint8_t kBeginTask = 0x25;
inline constexpr std::uint8_t kGetBattery = 0x30;
inline constexpr std::uint8_t kSetRange = 0x31;
inline constexpr std::uint8_t kSetSensorType = 0x32;
inline constexpr std::uint8_t kSetDisplay = 0x33;
inline constexpr std::uint8_t kSubVariable = 0x34;
inline constexpr std::uint8_t kBeginSubroutine = 0x35;
inline constexpr std::uint8_t kDeleteAllTasks = 0x40;
inline constexpr std::uint8_t kSetSensorMode = 0x42;
inline constexpr std::uint8_t kDivVariable = 0x44;
inline constexpr std::uint8_t kTransferData = 0x45;
inline constexpr std::uint8_t kStopAllTasks = 0x50;
inline constexpr std::uint8_t kPlaySound = 0x51;
inline constexpr std::uint8_t kSetDatalogSize = 0x52;
inline constexpr std::uint8_t kMulVariable = 0x54;
inline constexpr std::uint8_t kPowerOff = 0x60;
inline constexpr std::uint8_t kDeleteTask = 0x61;
inline constexpr std::uint8_t kDatalogNext = 0x62;
inline constexpr std::uint8_t kSgnVariable = 0x64;
inline constexpr std::uint8_t kDeleteFirmware = 0x65;
inline constexpr std::uint8_t kDeleteAllSubs = 0x70;
inline constexpr std::uint8_t kStartTask = 0x71;
inline constexpr std::uint8_t kAbsVariable = 0x74;
inline constexpr std::uint8_t kStartFirmwareDownload = 0x75;
inline constexpr std::uint8_t kStopTask = 0x81;
inline constexpr std::uint8_t kAndVariable = 0x84;
inline constexpr std::uint8_t kSetProgram = 0x91;
inline constexpr std::uint8_t kOrVariable = 0x94;
inline constexpr std::uint8_t kClearTimer = 0xA1;
inline constexpr std::uint8_t kUploadDatalog = 0xA4;
inline constexpr std::uint8_t kUnlockFirmware = 0xA5;
inline constexpr std::uint8_t kSetPowerDownDelay = 0xB1;
inline constexpr std::uint8_t kDeleteSub = 0xC1;
inline constexpr std::uint8_t kClearSensor = 0xD1;
inline constexpr std::uint8_t kSetMotorDirection = 0xE1;
inline constexpr std::uint8_t kSetUserDisplay = 0xE5;
inline constexpr std::uint8_t kSetMessage = 0xF7;

// Reply data lengths that are not a fixed count.
inline constexpr int kNoReply = -1;
inline constexpr int kRecordsReply = -2;  // upload: 3 bytes per requested record, or none

struct OpcodeInfo {
    std::uint8_t opcode;       // base form
    std::uint8_t paramLength;  // bytes after the opcode
    int replyLength;           // data bytes after the reply opcode, or kNoReply/kRecordsReply
    bool toggles;              // has a second spelling with the toggle bit set
    bool romAnswers;           // answered by the ROM even without firmware
};

// Looks up an opcode in either spelling; nullptr when the link does not know it.
const OpcodeInfo* findOpcode(std::uint8_t opcode);

// Parameter bytes of a request. Transfer data is the one request of variable length (block
// number, data length, the data, a block checksum): the table gives its fixed part, and its
// length field `dataLength` the rest.
std::size_t requestParamLength(const OpcodeInfo& info, std::size_t dataLength);
inline constexpr std::size_t kMaxTransferLength = 0x400;  // longest block the brick takes

// The five key bytes that Get versions and Delete firmware must carry.
inline constexpr std::uint8_t kVersionKey[5] = {0x01, 0x03, 0x05, 0x07, 0x0B};
// The key that Unlock firmware must carry ("LEGO" and the registered sign), and its answer.
inline constexpr std::uint8_t kUnlockKey[5] = {0x4C, 0x45, 0x47, 0x4F, 0xAE};
inline constexpr char kUnlockReply[] = "Just a bit off the block!";

}  // namespace towerlink::op
