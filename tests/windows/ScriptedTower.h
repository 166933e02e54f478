// A USB tower behind the WinUSB calls, played by a script: it lists the towers a test puts in
// `devices`, answers and records the vendor requests, and carries what is written to the OUT
// pipe to a virtual brick and the brick's answer back in IN packets of up to 8 bytes, with
// optional delays, short packets and lost packets; its faults also fail writes, complete reads
// inside ReadPipe, refuse aborts and pull the plug. Time is a manual clock that waits move on,
// so a whole exchange with its time-outs runs in no real time. Calls a real WinUSB would refuse
// or hang on are recorded in `misuse`.
#pragma once

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Clock.h"
#include "Packet.h"
#include "UsbDeviceApi.h"
#include "VirtualBrick.h"

namespace towerlink::test {

inline constexpr const wchar_t* kWinUsbClass = L"{2C5BC6E8-5B5F-4C3D-9E4A-3E1A0D6C7B21}";

// A tower bound to the WinUSB driver, as the driver's installation leaves it.
inline UsbDeviceEntry winUsbDevice(const wchar_t* instanceId) {
    return {instanceId, L"WinUSB", {kWinUsbClass}};
}

struct ControlRequest {
    UCHAR requestType;
    UCHAR request;
    USHORT value;
    USHORT index;
    USHORT length;
    bool operator==(const ControlRequest&) const = default;
};

struct TowerFaults {
    std::size_t maxPacket = 8;  // bytes per IN packet: fewer makes short packets
    int loseEvery = 0;          // every n-th IN packet never arrives (0: none)
    Micros replyDelay{0};       // before the brick's answer starts arriving
    // A read given up on completes anyway with the next packet, as one that arrived just as
    // it was cancelled.
    bool completeOnAbort = false;
    // A read meets a packet that waits no sooner than this after it starts: the host asks the
    // interrupt IN pipe only at its polls.
    Micros pollDelay{0};
    bool synchronous = false;  // a read whose packet waits already completes inside ReadPipe
    DWORD writeError = 0;      // WritePipe moves half the bytes, then fails with it
    DWORD abortError = 0;      // AbortPipe fails with it, and the read stays under way
    // From then on the tower is gone: the read under way ends and every call fails.
    std::optional<Micros> unplugAt{};
};

inline constexpr DWORD kUnplugged = ERROR_DEVICE_NOT_CONNECTED;

class ScriptedTower final : public UsbDeviceApi {
public:
    ScriptedTower(Clock& clock, VirtualBrick& brick) : clock_(clock), brick_(brick) {}

    std::vector<UsbDeviceEntry> devices;
    DWORD openError = 0;  // open() fails with it when set
    struct FailingRequest {
        UCHAR request = 0;            // this vendor request fails ...
        DWORD systemError = 0;        // ... with this system error, or when 0 ...
        std::uint8_t towerError = 0;  // ... is answered with this error code, or when 0 ...
        ULONG replyLength = 4;        // ... with this many bytes
    } failing;
    TowerFaults faults;

    std::vector<ControlRequest> requests;
    std::vector<std::wstring> openedPaths;
    int openDevices = 0;
    std::vector<std::string> misuse;

    static std::wstring pathOf(const std::wstring& instanceId) { return L"\\\\?\\" + instanceId; }

    std::vector<UsbDeviceEntry> presentDevices(std::uint16_t vendor,
                                               std::uint16_t product) override {
        return vendor == 0x0694 && product == 0x0001 ? devices : std::vector<UsbDeviceEntry>{};
    }
    void close(HANDLE file, WINUSB_INTERFACE_HANDLE usb) override {
        if (!file || usb != this) misuse.push_back("closed what was not opened");
        // Closing cancels a read given up on; one never given up was forgotten.
        if (std::ranges::count(reads_, false, &Read::givenUp))
            misuse.push_back("closed with a read under way");
        reads_.clear();
        --openDevices;
    }
    bool setPipeTimeout(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG) override {
        checkCall(usb, pipe, kOut, "a time-out on a pipe other than OUT");
        return !unplugged() || fail(kUnplugged);
    }
    // Carries the request to the brick and schedules its answer in IN packets, each arriving
    // when its last byte has crossed the tower's infrared line.
    bool writePipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, const std::uint8_t* data, ULONG size,
                   ULONG* written) override {
        checkCall(usb, pipe, kOut, "a write to a pipe other than OUT");
        *written = 0;
        if (unplugged()) return fail(kUnplugged);
        if (faults.writeError) {
            *written = size / 2;
            return fail(faults.writeError);
        }
        *written = size;
        const Micros sent = clock_.now() + kByteTime * static_cast<int>(size);
        const Bytes reply = brick_.receive(std::span<const std::uint8_t>(data, size));
        Micros at = std::max(sent + faults.replyDelay, lineFree_);
        for (std::size_t i = 0; i < reply.size(); i += faults.maxPacket) {
            Bytes packet(reply.begin() + i,
                         reply.begin() + std::min(i + faults.maxPacket, reply.size()));
            at += kByteTime * static_cast<int>(packet.size());
            if (faults.loseEvery == 0 || ++inPacketsSent_ % faults.loseEvery != 0) {
                incoming_.push_back({std::move(packet), at});
            }
        }
        lineFree_ = at;
        return true;
    }
    std::wstring interfacePath(const std::wstring& interfaceClass,
                               const std::wstring& instanceId) override {
        for (const UsbDeviceEntry& d : devices) {
            if (d.instanceId == instanceId &&
                std::ranges::count(d.interfaceClasses, interfaceClass))
                return pathOf(instanceId);
        }
        return {};
    }
    bool open(const std::wstring& path, HANDLE* file, WINUSB_INTERFACE_HANDLE* usb) override {
        *file = nullptr;
        *usb = nullptr;
        if (openError) return fail(openError);
        openedPaths.push_back(path);
        ++openDevices;
        *file = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x4000 + openDevices));
        *usb = this;
        return true;
    }
    bool controlTransfer(WINUSB_INTERFACE_HANDLE usb, const WINUSB_SETUP_PACKET& setup,
                         std::uint8_t* data, ULONG* transferred) override {
        checkCall(usb);
        *transferred = 0;
        if (unplugged()) return fail(kUnplugged);
        requests.push_back(
            {setup.RequestType, setup.Request, setup.Value, setup.Index, setup.Length});
        const bool fails = setup.Request == failing.request;
        if (fails && failing.systemError) return fail(failing.systemError);
        // The tower's reply header: byte count, error code, value.
        const std::uint8_t reply[4] = {4, 0, fails ? failing.towerError : std::uint8_t{0}, 0};
        const ULONG length = std::min<ULONG>(fails ? failing.replyLength : 4, setup.Length);
        std::copy(reply, reply + std::min<ULONG>(length, 4), data);
        *transferred = length;
        return true;
    }
    bool readPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, std::uint8_t* buffer, ULONG size,
                  OVERLAPPED* overlapped) override {
        checkCall(usb, pipe, kIn, "a read from a pipe other than IN");
        if (!reads_.empty()) misuse.push_back("a read started while another is under way");
        if (size < 8) misuse.push_back("a read buffer smaller than a packet");
        if (unplugged()) return fail(kUnplugged);
        reads_.push_back({overlapped, buffer, size, clock_.now()});
        if (faults.synchronous && !incoming_.empty() && incoming_.front().arrives <= clock_.now()) {
            completeWithNext();
            return true;
        }
        return fail(ERROR_IO_PENDING);
    }
    bool waitFor(OVERLAPPED* overlapped, DWORD milliseconds) override {
        if (reads_.empty() || reads_.back().overlapped != overlapped) {
            misuse.push_back("a wait for a read that was not started");
            return true;
        }
        Read& read = reads_.back();
        if (read.done || read.aborted) return true;
        const Micros until = clock_.now() + Micros{1000LL * milliseconds};
        const Micros met = incoming_.empty() ? until + Micros{1}
                                             : std::max(incoming_.front().arrives,
                                                        read.started + faults.pollDelay);
        if (faults.unplugAt && *faults.unplugAt <= std::min(met, until)) {
            clock_.sleepUntil(std::max(clock_.now(), *faults.unplugAt));
            read.done = true;
            read.error = kUnplugged;
            return true;
        }
        const bool arrives = met <= until;
        clock_.sleepUntil(arrives ? met : until);
        if (arrives) completeWithNext();
        return arrives;
    }
    bool abortPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe) override {
        checkCall(usb, pipe, kIn, "an abort on a pipe other than IN");
        for (Read& read : reads_) read.givenUp = true;
        if (unplugged()) return fail(kUnplugged);
        if (faults.abortError) return fail(faults.abortError);
        for (Read& read : reads_) {
            if (read.done) continue;
            if (faults.completeOnAbort && !incoming_.empty()) {
                completeWithNext();
            } else {
                read.aborted = true;
            }
        }
        return true;
    }
    bool overlappedResult(WINUSB_INTERFACE_HANDLE usb, OVERLAPPED* overlapped, DWORD* transferred,
                          bool wait) override {
        checkCall(usb);
        *transferred = 0;
        auto read = std::ranges::find(reads_, overlapped, &Read::overlapped);
        if (read == reads_.end()) {
            misuse.push_back("a result asked for a read that was not started");
            return fail(ERROR_INVALID_PARAMETER);
        }
        if (!read->done && !read->aborted) {
            if (wait) misuse.push_back("a wait, without end, for a read that has not ended");
            return fail(ERROR_IO_INCOMPLETE);
        }
        const Read finished = *read;
        reads_.erase(read);
        if (!finished.done) return fail(ERROR_OPERATION_ABORTED);
        if (finished.error) return fail(finished.error);
        *transferred = finished.got;
        return true;
    }
    DWORD lastError() override { return error_; }

private:
    struct Packet {
        Bytes bytes;
        Micros arrives;
    };
    struct Read {
        OVERLAPPED* overlapped = nullptr;
        std::uint8_t* buffer = nullptr;
        ULONG size = 0;
        Micros started{0};
        bool done = false;
        bool aborted = false;
        bool givenUp = false;  // an abort was asked for
        DWORD error = 0;       // what it ended with, when it failed
        DWORD got = 0;
    };

    bool unplugged() const { return faults.unplugAt && clock_.now() >= *faults.unplugAt; }
    bool fail(DWORD error) {
        error_ = error;
        return false;
    }
    static constexpr UCHAR kOut = 0x02, kIn = 0x81;

    // Records a call on a device not open, or on the wrong pipe, as misuse.
    void checkCall(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe = kOut, UCHAR expected = kOut,
                   const char* wrongPipe = "") {
        if (usb != this || openDevices <= 0) misuse.push_back("a call on a device not open");
        if (pipe != expected) misuse.push_back(wrongPipe);
    }
    // Completes the last read with the first packet under way.
    void completeWithNext() {
        Read& read = reads_.back();
        const Packet& packet = incoming_.front();
        read.got = std::min<ULONG>(read.size, static_cast<ULONG>(packet.bytes.size()));
        std::copy(packet.bytes.begin(), packet.bytes.begin() + read.got, read.buffer);
        read.done = true;
        incoming_.pop_front();
    }

    Clock& clock_;
    VirtualBrick& brick_;
    std::deque<Packet> incoming_;
    std::vector<Read> reads_;  // at most one, unless the transport misbehaves
    Micros lineFree_{0};       // when the brick's last packet has been sent
    int inPacketsSent_ = 0;    // while some are lost, to find every n-th
    DWORD error_ = 0;
};

}  // namespace towerlink::test
