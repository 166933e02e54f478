// The USB tower through WinUSB: finding it, its setup requests, and overlapped packet reads that
// give up at the session's deadlines.
#include "WinUsbTowerTransport.h"

#include <algorithm>
#include <utility>

#include "PortName.h"

namespace towerlink {
namespace {

constexpr UCHAR kInPipe = 0x81;
constexpr UCHAR kOutPipe = 0x02;
constexpr ULONG kPacketSize = 8;

// The tower's vendor requests and their values.
constexpr std::uint8_t kSetParameter = 0x02;
constexpr std::uint8_t kSetTransmitSpeed = 0xEF;
constexpr std::uint8_t kSetReceiveSpeed = 0xF1;
constexpr std::uint8_t kParameterRange = 0x02;
constexpr std::uint16_t kSpeed2400 = 0x08;
constexpr std::uint8_t kDeviceToHostVendor = 0xC0;
constexpr USHORT kReplyHeaderSize = 4;

// Packets a discard takes at most: more than the tower holds, fewer than a babbling one sends.
constexpr int kDiscardPackets = 16;
// A packet the tower holds comes in only at the host's next poll of its interrupt IN pipe,
// milliseconds away: a discard that waited 0 ms would leave it for the next exchange's reply.
constexpr DWORD kDiscardWaitMs = 20;
// An aborted read ends at once; a tower that is gone may refuse the abort, or ignore it, and
// leave the read under way for good.
constexpr DWORD kAbortWaitMs = 500;

const wchar_t* requestName(std::uint8_t request) {
    switch (request) {
        case kSetParameter: return L"set range";
        case kSetTransmitSpeed: return L"set transmit speed";
        case kSetReceiveSpeed: return L"set receive speed";
        default: return L"vendor request";
    }
}

constexpr const wchar_t* kHowToBind =
    L"bind the WinUSB driver to the device \"LEGO USB Tower\" once (for instance with the free "
    L"Zadig installer: pick the device, pick WinUSB, install), then open the port again";

UsbTowerOpenFailure openFailure(UsbTowerOpenFailure::Kind kind, std::wstring description,
                                DWORD osError = 0) {
    return UsbTowerOpenFailure{kind, std::move(description), osError};
}

}  // namespace

WinUsbTowerTransport::WinUsbTowerTransport(UsbDeviceApi& api, std::string name)
    : api_(api), name_(std::move(name)), read_(std::make_unique<PacketRead>()) {}

WinUsbTowerTransport::~WinUsbTowerTransport() {
    if (file_ || usb_) api_.close(file_, usb_);
    // The driver may still end a read that never ended, into its buffer: that stays allocated.
    if (stuckError_) static_cast<void>(read_.release());
}

Result<std::unique_ptr<WinUsbTowerTransport>, UsbTowerOpenFailure> WinUsbTowerTransport::open(
    int number, TowerRange range, UsbDeviceApi& api) {
    using Kind = UsbTowerOpenFailure::Kind;
    const std::wstring port = PortName{PortKind::Usb, number}.text();
    std::vector<UsbDeviceEntry> towers = api.presentDevices(kVendor, kProduct);
    // The instance id stays the same while the tower stays in the same socket, so USB2 keeps
    // meaning the same tower from one run to the next.
    std::sort(towers.begin(), towers.end(), [](const UsbDeviceEntry& a, const UsbDeviceEntry& b) {
        return upperCase(a.instanceId) < upperCase(b.instanceId);
    });
    if (number < 1 || static_cast<std::size_t>(number) > towers.size()) {
        return openFailure(Kind::NoTower,
                           L"No USB tower is plugged in as " + port +
                               L": plug in the tower. On 32-bit Windows install LEGO's tower "
                               L"driver; on 64-bit Windows, " +
                               kHowToBind);
    }
    const UsbDeviceEntry& tower = towers[static_cast<std::size_t>(number) - 1];
    std::wstring path;
    for (const std::wstring& interfaceClass : tower.interfaceClasses) {
        path = api.interfacePath(interfaceClass, tower.instanceId);
        if (!path.empty()) break;
    }
    if (path.empty()) {
        const std::wstring driver =
            tower.service.empty()
                ? std::wstring(L"no driver serves it")
                : L"it is served by the driver " + tower.service + L", not through WinUSB";
        return openFailure(Kind::NotBound, L"The USB tower " + port + L" is plugged in, but " +
                                               driver + L": " + kHowToBind);
    }

    // Made before the device is opened into it: nothing that fails later leaks the handles.
    std::unique_ptr<WinUsbTowerTransport> transport(
        new WinUsbTowerTransport(api, std::string(port.begin(), port.end())));
    transport->event_ = kestrel::Win32Handle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!transport->event_) {
        const DWORD error = GetLastError();
        return openFailure(Kind::Failed, L"The USB tower " + port + L" cannot be opened", error);
    }
    if (!api.open(path, &transport->file_, &transport->usb_)) {
        const DWORD error = api.lastError();
        switch (error) {
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
            case ERROR_BUSY:
                return openFailure(Kind::Busy, L"The USB tower " + port + L" is in use", error);
            case ERROR_MOD_NOT_FOUND:
            case ERROR_PROC_NOT_FOUND:
            case ERROR_DLL_INIT_FAILED:
                return openFailure(Kind::NoWinUsb,
                                   L"The USB tower " + port +
                                       L" needs Windows' WinUSB driver, which this system does "
                                       L"not offer (winusb.dll is missing or incomplete): use "
                                       L"the tower on a Windows with WinUSB, or a serial tower",
                                   error);
            default:
                return openFailure(Kind::Failed, L"The USB tower " + port + L" cannot be opened",
                                   error);
        }
    }
    struct Setup {
        std::uint8_t request;
        std::uint16_t value;
    };
    const Setup setup[] = {
        {kSetParameter,
         static_cast<std::uint16_t>(kParameterRange | static_cast<unsigned>(range) << 8)},
        {kSetTransmitSpeed, kSpeed2400},
        {kSetReceiveSpeed, kSpeed2400},
    };
    for (const Setup& s : setup) {
        DWORD error = 0;
        const std::wstring problem = transport->vendorRequest(s.request, s.value, &error);
        if (!problem.empty()) {
            return openFailure(Kind::Refused,
                               L"The USB tower " + port + L" did not take its setup (" + problem +
                                   L"): unplug the tower, plug it in again, then open the port "
                                   L"again",
                               error);
        }
    }
    return transport;
}

std::wstring WinUsbTowerTransport::vendorRequest(std::uint8_t request, std::uint16_t value,
                                                 DWORD* osError) {
    WINUSB_SETUP_PACKET setup{};
    setup.RequestType = kDeviceToHostVendor;
    setup.Request = request;
    setup.Value = value;
    setup.Index = 0;
    setup.Length = kReplyHeaderSize;
    // The tower's answer: byte count (16 bits), error code, value.
    std::uint8_t reply[kReplyHeaderSize] = {};
    ULONG got = 0;
    const std::wstring what = requestName(request);
    if (!api_.controlTransfer(usb_, setup, reply, &got)) {
        *osError = api_.lastError();
        return what + L" failed with system error " + std::to_wstring(*osError);
    }
    if (got != kReplyHeaderSize) {
        return what + L" was answered with " + std::to_wstring(got) + L" bytes instead of 4";
    }
    if (reply[2] != 0) return what + L" was answered with error " + std::to_wstring(reply[2]);
    return {};
}

std::wstring WinUsbTowerTransport::setRange(TowerRange range) {
    DWORD error = 0;
    return vendorRequest(
        kSetParameter,
        static_cast<std::uint16_t>(kParameterRange | static_cast<unsigned>(range) << 8), &error);
}

IoResult WinUsbTowerTransport::write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return IoResult::done(0);
    const ULONG size = static_cast<ULONG>(bytes.size());
    // The tower sends at 2400 baud, 11 bits a byte: allow that and a second on top.
    const ULONG timeout = 1000 + size * 5;
    if (timeout != writeTimeoutMs_) {
        if (!api_.setPipeTimeout(usb_, kOutPipe, timeout)) {
            return IoResult::failure("writing to " + name_, static_cast<int>(api_.lastError()));
        }
        writeTimeoutMs_ = timeout;
    }
    ULONG written = 0;
    if (!api_.writePipe(usb_, kOutPipe, bytes.data(), size, &written)) {
        return IoResult::failure("writing to " + name_, static_cast<int>(api_.lastError()),
                                 written);
    }
    if (written < size) return IoResult::failure("writing to " + name_, ERROR_WRITE_FAULT, written);
    return IoResult::done(written);
}

IoResult WinUsbTowerTransport::readPacket(DWORD waitMs) {
    if (stuckError_)
        return IoResult::failure("reading from " + name_, static_cast<int>(stuckError_));
    PacketRead& read = *read_;
    read.overlapped = OVERLAPPED{};
    read.overlapped.hEvent = event_.get();
    ResetEvent(event_.get());
    if (!api_.readPipe(usb_, kInPipe, read.packet, kPacketSize, &read.overlapped)) {
        const DWORD error = api_.lastError();
        if (error != ERROR_IO_PENDING) {
            return IoResult::failure("reading from " + name_, static_cast<int>(error));
        }
    }
    if (!api_.waitFor(&read.overlapped, waitMs)) {
        // Waits for the abort to end the read, so that a packet that arrived as the read was
        // given up is kept here rather than landing in the next exchange's read; but not for
        // ever.
        const DWORD abortError = api_.abortPipe(usb_, kInPipe) ? ERROR_TIMEOUT : api_.lastError();
        if (!api_.waitFor(&read.overlapped, kAbortWaitMs)) {
            stuckError_ = abortError;
            return IoResult::failure("reading from " + name_, static_cast<int>(abortError));
        }
    }
    DWORD got = 0;
    if (!api_.overlappedResult(usb_, &read.overlapped, &got, false)) {
        const DWORD error = api_.lastError();
        if (error != ERROR_OPERATION_ABORTED && error != ERROR_SEM_TIMEOUT) {
            return IoResult::failure("reading from " + name_, static_cast<int>(error));
        }
    }
    got = std::min<DWORD>(got, kPacketSize);
    pending_.insert(pending_.end(), read.packet, read.packet + got);
    return IoResult::done(got);
}

IoResult WinUsbTowerTransport::read(std::span<std::uint8_t> buffer, Micros firstByte,
                                    Micros interByte) {
    std::size_t count = 0;
    auto take = [&] {
        while (count < buffer.size() && !pending_.empty()) {
            buffer[count++] = pending_.front();
            pending_.pop_front();
        }
    };
    take();
    DWORD wait = toMilliseconds(count == 0 ? firstByte : interByte);
    while (count < buffer.size()) {
        IoResult io = readPacket(wait);
        if (io.failed) {
            drained_ = false;
            return IoResult::failure(io.detail, io.osError, count);
        }
        // An empty packet carries nothing and ends the wait as silence does.
        if (io.count == 0) break;
        take();
        wait = toMilliseconds(interByte);
    }
    drained_ = count == buffer.size() && pending_.empty();
    return IoResult::done(count);
}

void WinUsbTowerTransport::discardInput() {
    // After a reply read whole, waiting for a poll would cost every exchange its length.
    if (std::exchange(drained_, false) && pending_.empty()) return;
    pending_.clear();
    for (int i = 0; i < kDiscardPackets; ++i) {
        IoResult io = readPacket(kDiscardWaitMs);
        if (io.failed || io.count == 0) break;
    }
    pending_.clear();
}

}  // namespace towerlink
