// The scripted tower's answers.
#include "ScriptedTower.h"

#include <algorithm>

namespace towerlink::test {
namespace {

// One byte on the tower's infrared line: 11 bits at 2400 baud.
constexpr Micros kByteTime{4583};

}  // namespace

bool ScriptedTower::writePipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, const std::uint8_t* data,
                              ULONG size, ULONG* written) {
    checkCall(usb, pipe, kOut, "a write to a pipe other than OUT");
    *written = size;
    const Micros sent = clock_.now() + kByteTime * static_cast<int>(size);
    const Bytes reply = brick_.receive(std::span<const std::uint8_t>(data, size));
    Micros at = std::max(sent + faults.replyDelay, lineFree_);
    for (std::size_t i = 0; i < reply.size();) {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(faults.maxPacket), reply.size() - i);
        at += kByteTime * static_cast<int>(n);
        Packet packet{Bytes(reply.begin() + static_cast<std::ptrdiff_t>(i),
                            reply.begin() + static_cast<std::ptrdiff_t>(i + n)),
                      at};
        i += n;
        ++inPacketsSent;
        if (faults.loseEvery > 0 && inPacketsSent % faults.loseEvery == 0) continue;
        incoming_.push_back(std::move(packet));
    }
    lineFree_ = at;
    return true;
}

}  // namespace towerlink::test
