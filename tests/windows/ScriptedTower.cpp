// The scripted tower's answers.
#include "ScriptedTower.h"

#include <algorithm>

namespace towerlink::test {
namespace {

// One byte on the tower's infrared line: 11 bits at 2400 baud.
constexpr Micros kByteTime{4583};

}  // namespace

std::vector<UsbDeviceEntry> ScriptedTower::presentDevices(std::uint16_t vendor,
                                                          std::uint16_t product) {
    std::vector<UsbDeviceEntry> found;
    if (vendor != 0x0694 || product != 0x0001) return found;
    for (const ScriptedDevice& d : devices) {
        found.push_back({d.instanceId, d.service, d.interfaceClasses});
    }
    return found;
}

std::wstring ScriptedTower::interfacePath(const std::wstring& interfaceClass,
                                          const std::wstring& instanceId) {
    for (const ScriptedDevice& d : devices) {
        if (d.instanceId == instanceId &&
            std::find(d.interfaceClasses.begin(), d.interfaceClasses.end(), interfaceClass) !=
                d.interfaceClasses.end()) {
            return pathOf(instanceId);
        }
    }
    return {};
}

bool ScriptedTower::open(const std::wstring& path, HANDLE* file, WINUSB_INTERFACE_HANDLE* usb) {
    *file = nullptr;
    *usb = nullptr;
    if (openError) return fail(openError);
    openedPaths.push_back(path);
    ++openDevices;
    *file = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x4000 + openDevices));
    *usb = this;
    return true;
}

void ScriptedTower::close(HANDLE file, WINUSB_INTERFACE_HANDLE usb) {
    if (!file || usb != this) misuse.push_back("closed what was not opened");
    if (!reads_.empty()) misuse.push_back("closed with a read under way");
    --openDevices;
}

void ScriptedTower::checkHandle(WINUSB_INTERFACE_HANDLE usb) {
    if (usb != this || openDevices <= 0) misuse.push_back("a call on a device not open");
}

bool ScriptedTower::controlTransfer(WINUSB_INTERFACE_HANDLE usb, const WINUSB_SETUP_PACKET& setup,
                                    std::uint8_t* data, ULONG* transferred) {
    checkHandle(usb);
    *transferred = 0;
    requests.push_back({setup.RequestType, setup.Request, setup.Value, setup.Index, setup.Length});
    const bool failing = setup.Request == failingRequest;
    if (failing && requestError) return fail(requestError);
    // The tower's reply header: byte count, error code, value.
    const std::uint8_t reply[4] = {4, 0, failing ? towerError : std::uint8_t{0}, 0};
    const ULONG length = std::min<ULONG>(failing ? replyLength : 4, setup.Length);
    std::copy(reply, reply + std::min<ULONG>(length, 4), data);
    *transferred = length;
    return true;
}

bool ScriptedTower::setPipeTimeout(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG) {
    checkHandle(usb);
    if (pipe != 0x02) misuse.push_back("a time-out on a pipe other than OUT");
    return true;
}

bool ScriptedTower::writePipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, const std::uint8_t* data,
                              ULONG size, ULONG* written) {
    checkHandle(usb);
    if (pipe != 0x02) misuse.push_back("a write to a pipe other than OUT");
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

bool ScriptedTower::readPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, std::uint8_t* buffer,
                             ULONG size, OVERLAPPED* overlapped) {
    checkHandle(usb);
    if (pipe != 0x81) misuse.push_back("a read from a pipe other than IN");
    if (!reads_.empty()) misuse.push_back("a read started while another is under way");
    if (size < 8) misuse.push_back("a read buffer smaller than a packet");
    reads_.push_back({overlapped, buffer, size});
    return fail(ERROR_IO_PENDING);
}

void ScriptedTower::complete(Packet packet) {
    Read& read = reads_.back();
    const ULONG n = std::min<ULONG>(read.size, static_cast<ULONG>(packet.bytes.size()));
    std::copy(packet.bytes.begin(), packet.bytes.begin() + n, read.buffer);
    read.got = n;
    read.done = true;
}

bool ScriptedTower::waitFor(OVERLAPPED* overlapped, DWORD milliseconds) {
    if (reads_.empty() || reads_.back().overlapped != overlapped) {
        misuse.push_back("a wait for a read that was not started");
        return true;
    }
    if (reads_.back().done) return true;
    const Micros until = clock_.now() + Micros{1000LL * milliseconds};
    if (!incoming_.empty() && incoming_.front().arrives <= until) {
        clock_.sleepUntil(incoming_.front().arrives);
        complete(std::move(incoming_.front()));
        incoming_.pop_front();
        return true;
    }
    clock_.sleepUntil(until);
    return false;
}

bool ScriptedTower::abortPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe) {
    checkHandle(usb);
    if (pipe != 0x81) misuse.push_back("an abort on a pipe other than IN");
    for (Read& read : reads_) {
        if (read.done) continue;
        if (faults.completeOnAbort && !incoming_.empty()) {
            complete(std::move(incoming_.front()));
            incoming_.pop_front();
        } else {
            read.aborted = true;
        }
    }
    return true;
}

bool ScriptedTower::overlappedResult(WINUSB_INTERFACE_HANDLE usb, OVERLAPPED* overlapped,
                                     DWORD* transferred, bool wait) {
    checkHandle(usb);
    *transferred = 0;
    auto read = std::find_if(reads_.begin(), reads_.end(),
                             [&](const Read& r) { return r.overlapped == overlapped; });
    if (read == reads_.end()) {
        misuse.push_back("a result asked for a read that was not started");
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!read->done && !read->aborted) {
        if (wait) misuse.push_back("a wait, without end, for a read never given up");
        return fail(ERROR_IO_INCOMPLETE);
    }
    const Read finished = *read;
    reads_.erase(read);
    if (!finished.done) return fail(ERROR_OPERATION_ABORTED);
    *transferred = finished.got;
    return true;
}

}  // namespace towerlink::test
