// The bytecode the standard firmware runs inside tasks: every instruction's length and name as
// data, so that decoding never guesses a length from bit patterns. Instructions marked as
// toggling also run in their second spelling (bit 0x08 set), as on the brick.
#pragma once

#include <cstdint>

namespace towerlink::bytecode {

enum class Support {
    Runs,         // the interpreter carries it out
    NotModelled,  // events, monitors, access control, the UART: decoded, then the task stops
};

struct Instruction {
    std::uint8_t opcode;  // base spelling
    std::uint8_t length;  // bytes including the opcode
    bool toggles;         // also exists with bit 0x08 set
    Support support;
    const char* name;  // NQC's listing name, for diagnostics
};

// The instruction that `byte` starts, in either spelling; nullptr for an illegal opcode.
const Instruction* decode(std::uint8_t byte);

inline constexpr std::uint8_t kSetVariable = 0x14, kAddVariable = 0x24, kSubVariable = 0x34,
                              kDivVariable = 0x44, kMulVariable = 0x54, kSgnVariable = 0x64,
                              kAbsVariable = 0x74, kAndVariable = 0x84, kOrVariable = 0x94;
inline constexpr std::uint8_t kSet = 0x05, kPlayVariableTone = 0x02, kClearSound = 0x80,
                              kMute = 0xD0, kUnmute = 0xE0, kWait = 0x43, kCall = 0x17,
                              kReturn = 0xF6, kStartTask = 0x71, kStopTask = 0x81, kStopAll = 0x50,
                              kSelectProgram = 0x91, kPriority = 0xD7;
inline constexpr std::uint8_t kGlobalOnOff = 0x67, kGlobalDirection = 0x77, kGlobalPower = 0xA3,
                              kCountUp = 0x97, kCountDown = 0xA7, kCountClear = 0xB7,
                              kSendMessage = 0xB2, kClearMessage = 0x90, kSetMessage = 0xF7;
inline constexpr std::uint8_t kJump = 0x27, kJumpLong = 0x72, kCheck = 0x85, kCheckLong = 0x95,
                              kLoopSet = 0x82, kLoopCheck = 0x37, kLoopCheckLong = 0x92,
                              kDecrementJump = 0xF2, kDecrementJumpLong = 0xF3;
inline constexpr std::uint8_t kSetPower = 0x13, kPlaySound = 0x51, kPlayTone = 0x23;

}  // namespace towerlink::bytecode
