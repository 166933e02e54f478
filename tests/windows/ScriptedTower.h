// A USB tower behind the WinUSB calls, played by a script: it lists the towers a test puts in
// `devices`, answers and records the vendor requests, and carries what is written to the OUT
// pipe to a virtual brick and the brick's answer back in IN packets of up to 8 bytes, with
// optional delays, short packets and lost packets. Time is a manual clock that waits move on,
// so a whole exchange with its time-outs runs in no real time. Calls a real WinUSB would refuse
// or hang on are recorded in `misuse`.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "Clock.h"
#include "UsbDeviceApi.h"
#include "VirtualBrick.h"

namespace towerlink::test {

inline constexpr const wchar_t* kWinUsbClass = L"{2C5BC6E8-5B5F-4C3D-9E4A-3E1A0D6C7B21}";

struct ScriptedDevice {
    std::wstring instanceId;
    std::wstring service = L"WinUSB";
    std::vector<std::wstring> interfaceClasses = {kWinUsbClass};
};

struct ControlRequest {
    UCHAR requestType;
    UCHAR request;
    USHORT value;
    USHORT index;
    USHORT length;
    bool operator==(const ControlRequest&) const = default;
};

struct InPacketFaults {
    int maxPacket = 8;     // bytes per IN packet: fewer makes short packets
    int loseEvery = 0;     // every n-th IN packet never arrives (0: none)
    Micros replyDelay{0};  // before the brick's answer starts arriving
    // A read given up on completes anyway with the next packet, as one that arrived just as
    // it was cancelled.
    bool completeOnAbort = false;
};

class ScriptedTower final : public UsbDeviceApi {
public:
    ScriptedTower(Clock& clock, VirtualBrick& brick) : clock_(clock), brick_(brick) {}

    std::vector<ScriptedDevice> devices;
    DWORD openError = 0;          // open() fails with it when set
    UCHAR failingRequest = 0;     // this vendor request fails ...
    DWORD requestError = 0;       // ... with this system error, or when 0 ...
    std::uint8_t towerError = 0;  // ... is answered with this error code, or when 0 ...
    ULONG replyLength = 4;        // ... with this many bytes
    InPacketFaults faults;

    std::vector<ControlRequest> requests;
    std::vector<std::wstring> openedPaths;
    int openDevices = 0;
    int inPacketsSent = 0;
    std::vector<std::string> misuse;

    static std::wstring pathOf(const std::wstring& instanceId) { return L"\\\\?\\" + instanceId; }

    std::vector<UsbDeviceEntry> presentDevices(std::uint16_t vendor,
                                               std::uint16_t product) override;
    std::wstring interfacePath(const std::wstring& interfaceClass,
                               const std::wstring& instanceId) override;
    bool open(const std::wstring& path, HANDLE* file, WINUSB_INTERFACE_HANDLE* usb) override;
    void close(HANDLE file, WINUSB_INTERFACE_HANDLE usb) override;
    bool controlTransfer(WINUSB_INTERFACE_HANDLE usb, const WINUSB_SETUP_PACKET& setup,
                         std::uint8_t* data, ULONG* transferred) override;
    bool setPipeTimeout(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG milliseconds) override;
    bool writePipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, const std::uint8_t* data, ULONG size,
                   ULONG* written) override;
    bool readPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, std::uint8_t* buffer, ULONG size,
                  OVERLAPPED* overlapped) override;
    bool waitFor(OVERLAPPED* overlapped, DWORD milliseconds) override;
    bool abortPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe) override;
    bool overlappedResult(WINUSB_INTERFACE_HANDLE usb, OVERLAPPED* overlapped, DWORD* transferred,
                          bool wait) override;
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
        bool done = false;
        bool aborted = false;
        DWORD got = 0;
    };

    bool fail(DWORD error) {
        error_ = error;
        return false;
    }
    void checkHandle(WINUSB_INTERFACE_HANDLE usb);
    void complete(Packet packet);

    Clock& clock_;
    VirtualBrick& brick_;
    std::deque<Packet> incoming_;
    std::vector<Read> reads_;  // at most one, unless the transport misbehaves
    Micros lineFree_{0};       // when the brick's last packet has been sent
    DWORD error_ = 0;
};

}  // namespace towerlink::test
