// Shapes of the known direct commands.
#include "Opcodes.h"

#include <array>

#include "Packet.h"

namespace towerlink::op {
namespace {

constexpr std::array kTable = {
    OpcodeInfo{kAlive, 0, 0, true, true},
    OpcodeInfo{kGetValue, 2, 2, true, false},
    OpcodeInfo{kSetPower, 3, 0, true, false},
    OpcodeInfo{kSetVariable, 4, 0, true, false},
    OpcodeInfo{kGetVersions, 5, 8, true, true},
    OpcodeInfo{kGetMemoryMap, 0, 188, true, false},
    OpcodeInfo{kSetMotorOnOff, 1, 0, true, false},
    OpcodeInfo{kSetTime, 2, 0, true, false},
    OpcodeInfo{kPlayTone, 3, 0, true, false},
    OpcodeInfo{kAddVariable, 4, 0, true, false},
    OpcodeInfo{kBeginTask, 5, 1, true, false},
    OpcodeInfo{kGetBattery, 0, 2, true, false},
    OpcodeInfo{kSetRange, 1, 0, true, false},
    OpcodeInfo{kSetSensorType, 2, 0, true, false},
    OpcodeInfo{kSetDisplay, 3, 0, true, false},
    OpcodeInfo{kSubVariable, 4, 0, true, false},
    OpcodeInfo{kBeginSubroutine, 5, 1, true, false},
    OpcodeInfo{kDeleteAllTasks, 0, 0, true, false},
    OpcodeInfo{kSetSensorMode, 2, 0, true, false},
    OpcodeInfo{kDivVariable, 4, 0, true, false},
    OpcodeInfo{kTransferData, 4, 1, true, true},
    OpcodeInfo{kStopAllTasks, 0, 0, true, false},
    OpcodeInfo{kPlaySound, 1, 0, true, false},
    OpcodeInfo{kSetDatalogSize, 2, 1, true, false},
    OpcodeInfo{kMulVariable, 4, 0, true, false},
    OpcodeInfo{kPowerOff, 0, 0, true, false},
    OpcodeInfo{kDeleteTask, 1, 0, true, false},
    OpcodeInfo{kDatalogNext, 2, 1, true, false},
    OpcodeInfo{kSgnVariable, 4, 0, true, false},
    OpcodeInfo{kDeleteFirmware, 5, 0, true, true},
    OpcodeInfo{kDeleteAllSubs, 0, 0, true, false},
    OpcodeInfo{kStartTask, 1, 0, true, false},
    OpcodeInfo{kAbsVariable, 4, 0, true, false},
    OpcodeInfo{kStartFirmwareDownload, 5, 1, true, true},
    OpcodeInfo{kStopTask, 1, 0, true, false},
    OpcodeInfo{kAndVariable, 4, 0, true, false},
    OpcodeInfo{kSetProgram, 1, 0, true, false},
    OpcodeInfo{kOrVariable, 4, 0, true, false},
    OpcodeInfo{kClearTimer, 1, 0, true, false},
    OpcodeInfo{kUploadDatalog, 4, kRecordsReply, true, false},
    OpcodeInfo{kUnlockFirmware, 5, 25, true, true},
    OpcodeInfo{kSetPowerDownDelay, 1, 0, true, false},
    OpcodeInfo{kDeleteSub, 1, 0, true, false},
    OpcodeInfo{kClearSensor, 1, 0, true, false},
    OpcodeInfo{kSetMotorDirection, 1, 0, true, false},
    OpcodeInfo{kSetUserDisplay, 5, 0, true, false},
    OpcodeInfo{kSetMessage, 1, kNoReply, false, false},
};

}  // namespace

const OpcodeInfo* findOpcode(std::uint8_t opcode) {
    for (const OpcodeInfo& info : kTable) {
        if (info.opcode == opcode) return &info;
        if (info.toggles && info.opcode == baseOpcode(opcode)) return &info;
    }
    return nullptr;
}

std::size_t requestParamLength(const OpcodeInfo& info, std::size_t dataLength) {
    return info.opcode == kTransferData ? info.paramLength + dataLength + 1 : info.paramLength;
}

}  // namespace towerlink::op
