// The system calls behind the WinUSB tower transport: SetupAPI to find the devices and the
// interface class their WinUSB binding registered, and WinUSB to speak to one. The transport
// makes every such call through this interface, so that it runs unchanged against a scripted
// tower; systemUsbDeviceApi() is the one that calls the system.
#pragma once

#include <windows.h>
#include <winusb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace towerlink {

struct UsbDeviceEntry {
    std::wstring instanceId;  // e.g. USB\VID_0694&PID_0001\6&1A2B3C&0&2
    std::wstring service;     // the driver bound to the device; empty when none is
    // DeviceInterfaceGUIDs (or DeviceInterfaceGUID) of the device's registry key: written by a
    // WinUSB binding, absent otherwise.
    std::vector<std::wstring> interfaceClasses;
};

class UsbDeviceApi {
public:
    virtual ~UsbDeviceApi() = default;

    // The present devices with the hardware id USB\VID_vvvv&PID_pppp, in no particular order.
    virtual std::vector<UsbDeviceEntry> presentDevices(std::uint16_t vendor,
                                                       std::uint16_t product) = 0;
    // The path of the interface of class `interfaceClass` that the device `instanceId` offers;
    // empty when it offers none.
    virtual std::wstring interfacePath(const std::wstring& interfaceClass,
                                       const std::wstring& instanceId) = 0;

    // Opens the device for overlapped I/O and initialises WinUSB on it. On failure both
    // handles stay null and lastError() says why.
    virtual bool open(const std::wstring& path, HANDLE* file, WINUSB_INTERFACE_HANDLE* usb) = 0;
    virtual void close(HANDLE file, WINUSB_INTERFACE_HANDLE usb) = 0;

    // The WinUSB calls of the same names; false sets lastError().
    virtual bool controlTransfer(WINUSB_INTERFACE_HANDLE usb, const WINUSB_SETUP_PACKET& setup,
                                 std::uint8_t* data, ULONG* transferred) = 0;
    virtual bool setPipeTimeout(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG milliseconds) = 0;
    virtual bool writePipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, const std::uint8_t* data,
                           ULONG size, ULONG* written) = 0;
    // Starts an overlapped read; false with ERROR_IO_PENDING means it is under way.
    virtual bool readPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, std::uint8_t* buffer, ULONG size,
                          OVERLAPPED* overlapped) = 0;
    // Waits up to `milliseconds` for the overlapped transfer to complete; true when it has.
    virtual bool waitFor(OVERLAPPED* overlapped, DWORD milliseconds) = 0;
    virtual bool abortPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe) = 0;
    virtual bool overlappedResult(WINUSB_INTERFACE_HANDLE usb, OVERLAPPED* overlapped,
                                  DWORD* transferred, bool wait) = 0;

    virtual DWORD lastError() = 0;
};

// The real one: SetupAPI and the registry directly, winusb.dll loaded when first needed, so
// that TowerLink works on every other port where it is missing.
UsbDeviceApi& systemUsbDeviceApi();

}  // namespace towerlink
