// Builders for the requests the link sends on its own, and the reply shape of each request.
#include "Request.h"

#include "ByteOrder.h"
#include "Firmware.h"
#include "Opcodes.h"

namespace towerlink {

Request Request::alive() {
    return {{op::kAlive}};
}

Request Request::getVersions() {
    Request r{{op::kGetVersions}};
    r.payload.insert(r.payload.end(), std::begin(op::kVersionKey), std::end(op::kVersionKey));
    return r;
}

Request Request::getBattery() {
    return {{op::kGetBattery}};
}

Request Request::uploadDatalog(std::uint16_t first, std::uint16_t count) {
    Request r{{op::kUploadDatalog}};
    pushU16(r.payload, first);
    pushU16(r.payload, count);
    return r;
}

Request Request::transferData(int block, std::span<const std::uint8_t> data) {
    Request r{{op::kTransferData}};
    pushU16(r.payload, block);
    pushU16(r.payload, static_cast<long long>(data.size()));
    r.payload.insert(r.payload.end(), data.begin(), data.end());
    r.payload.push_back(blockChecksum(data));
    return r;
}

std::string blockText(int block) {
    return block == 0 ? "the last block (0)" : "block " + std::to_string(block);
}

ReplyShape replyShape(const Request& request) {
    const op::OpcodeInfo* info = op::findOpcode(request.opcode());
    if (info == nullptr || info->replyLength == op::kNoReply) return {false, 0, false};
    if (info->replyLength == op::kRecordsReply) {
        std::size_t count = 0;
        if (request.payload.size() >= 5) count = readU16(request.payload, 3);
        return {true, 3 * count, true};
    }
    return {true, static_cast<std::size_t>(info->replyLength), false};
}

bool reportsNoFirmware(const Bytes& versions) {
    return versions.size() == 8 && versions[4] == 0 && versions[5] == 0 && versions[6] == 0 &&
           versions[7] == 0;
}

}  // namespace towerlink
