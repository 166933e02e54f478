// The system's side of the USB device calls: SetupAPI and the registry, and winusb.dll loaded on
// first use.
#include "UsbDeviceApi.h"

#include <objbase.h>
#include <setupapi.h>

#include <cwctype>

#include "ProcAddress.h"
#include "UniqueHandle.h"

namespace towerlink {
namespace {

// winusb.dll's functions, loaded once. The library stays loaded for the life of the process:
// freeing it again is not allowed where TowerLink itself is unloaded (DllMain).
struct WinUsbFunctions {
    decltype(&WinUsb_Initialize) initialize = nullptr;
    decltype(&WinUsb_Free) free = nullptr;
    decltype(&WinUsb_ControlTransfer) controlTransfer = nullptr;
    decltype(&WinUsb_SetPipePolicy) setPipePolicy = nullptr;
    decltype(&WinUsb_WritePipe) writePipe = nullptr;
    decltype(&WinUsb_ReadPipe) readPipe = nullptr;
    decltype(&WinUsb_AbortPipe) abortPipe = nullptr;
    decltype(&WinUsb_GetOverlappedResult) getOverlappedResult = nullptr;
    DWORD loadError = ERROR_SUCCESS;
};

template <class F>
bool resolve(HMODULE module, const char* name, F& function) {
    function = kestrel::procAddress<F>(module, name);
    return function != nullptr;
}

WinUsbFunctions loadWinUsb() {
    WinUsbFunctions f;
    // From the system folder only: a winusb.dll beside the calling program is never taken.
    HMODULE module = LoadLibraryExW(L"winusb.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) {
        f.loadError = GetLastError();
        return f;
    }
    if (!resolve(module, "WinUsb_Initialize", f.initialize) ||
        !resolve(module, "WinUsb_Free", f.free) ||
        !resolve(module, "WinUsb_ControlTransfer", f.controlTransfer) ||
        !resolve(module, "WinUsb_SetPipePolicy", f.setPipePolicy) ||
        !resolve(module, "WinUsb_WritePipe", f.writePipe) ||
        !resolve(module, "WinUsb_ReadPipe", f.readPipe) ||
        !resolve(module, "WinUsb_AbortPipe", f.abortPipe) ||
        !resolve(module, "WinUsb_GetOverlappedResult", f.getOverlappedResult)) {
        f = WinUsbFunctions{};
        f.loadError = ERROR_PROC_NOT_FOUND;
        FreeLibrary(module);
    }
    return f;
}

const WinUsbFunctions& winUsb() {
    static const WinUsbFunctions functions = loadWinUsb();
    return functions;
}

struct DeviceInfoListTraits {
    using Handle = HDEVINFO;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) { SetupDiDestroyDeviceInfoList(h); }
};
using DeviceInfoList = kestrel::UniqueHandle<DeviceInfoListTraits>;
using kestrel::RegistryKey;

// The strings of a REG_SZ or REG_MULTI_SZ value held in `data`.
std::vector<std::wstring> strings(const std::vector<wchar_t>& data) {
    std::vector<std::wstring> out;
    std::wstring current;
    for (wchar_t c : data) {
        if (c != L'\0') {
            current += c;
        } else if (!current.empty()) {
            out.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty()) out.push_back(std::move(current));
    return out;
}

std::vector<std::wstring> deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<wchar_t> data(256);
    for (int tries = 0; tries < 4; ++tries) {
        DWORD needed = 0;
        if (SetupDiGetDeviceRegistryPropertyW(
                set, &device, property, nullptr, reinterpret_cast<BYTE*>(data.data()),
                static_cast<DWORD>(data.size() * sizeof(wchar_t)), &needed)) {
            data.resize(std::min<std::size_t>(data.size(), needed / sizeof(wchar_t)));
            return strings(data);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        data.assign(needed / sizeof(wchar_t) + 1, L'\0');
    }
    return {};
}

std::vector<std::wstring> registryStrings(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    data.resize(std::min<std::size_t>(data.size(), size / sizeof(wchar_t)));
    return strings(data);
}

std::wstring instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t id[512] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id, 512, nullptr)) return {};
    return id;
}

bool sameText(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}

// Hardware ids read USB\VID_0694&PID_0001 or carry a revision after it (…&REV_0100).
bool matchesHardwareId(const std::wstring& id, const std::wstring& wanted) {
    if (id.size() < wanted.size()) return false;
    if (id.size() > wanted.size() && id[wanted.size()] != L'&') return false;
    return sameText(id.substr(0, wanted.size()), wanted);
}

std::wstring hex4(std::uint16_t value) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring out;
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
    return out;
}

class SystemUsbDeviceApi final : public UsbDeviceApi {
public:
    std::vector<UsbDeviceEntry> presentDevices(std::uint16_t vendor,
                                               std::uint16_t product) override {
        const std::wstring wanted = L"USB\\VID_" + hex4(vendor) + L"&PID_" + hex4(product);
        std::vector<UsbDeviceEntry> found;
        DeviceInfoList set(
            SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
        if (!set) return found;
        for (DWORD i = 0;; ++i) {
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof(device);
            if (!SetupDiEnumDeviceInfo(set.get(), i, &device)) break;
            bool match = false;
            for (const std::wstring& id : deviceProperty(set.get(), device, SPDRP_HARDWAREID)) {
                match = match || matchesHardwareId(id, wanted);
            }
            if (!match) continue;
            UsbDeviceEntry entry;
            entry.instanceId = instanceIdOf(set.get(), device);
            const auto service = deviceProperty(set.get(), device, SPDRP_SERVICE);
            if (!service.empty()) entry.service = service.front();
            RegistryKey key(
                SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
            if (key.get()) {
                entry.interfaceClasses = registryStrings(key.get(), L"DeviceInterfaceGUIDs");
                if (entry.interfaceClasses.empty()) {
                    entry.interfaceClasses = registryStrings(key.get(), L"DeviceInterfaceGUID");
                }
            }
            found.push_back(std::move(entry));
        }
        return found;
    }

    std::wstring interfacePath(const std::wstring& interfaceClass,
                               const std::wstring& instanceId) override {
        GUID guid{};
        if (FAILED(IIDFromString(interfaceClass.c_str(), &guid))) return {};
        DeviceInfoList set(
            SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
        if (!set) return {};
        for (DWORD i = 0;; ++i) {
            SP_DEVICE_INTERFACE_DATA iface{};
            iface.cbSize = sizeof(iface);
            if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &guid, i, &iface)) break;
            DWORD needed = 0;
            SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, nullptr, 0, &needed, nullptr);
            if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
            std::vector<DWORD> buffer(needed / sizeof(DWORD) + 1);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof(device);
            if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, needed, nullptr,
                                                  &device)) {
                continue;
            }
            if (sameText(instanceIdOf(set.get(), device), instanceId)) return detail->DevicePath;
        }
        return {};
    }

    bool open(const std::wstring& path, HANDLE* file, WINUSB_INTERFACE_HANDLE* usb) override {
        *file = nullptr;
        *usb = nullptr;
        const WinUsbFunctions& f = winUsb();
        if (!f.initialize) {
            SetLastError(f.loadError);
            return false;
        }
        kestrel::Win32Handle opened(CreateFileW(
            path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
        if (!opened) return false;
        WINUSB_INTERFACE_HANDLE initialised = nullptr;
        if (!f.initialize(opened.get(), &initialised)) {
            // Closing the file must not replace the error the caller reports.
            const DWORD error = GetLastError();
            opened.reset();
            SetLastError(error);
            return false;
        }
        *file = opened.release();
        *usb = initialised;
        return true;
    }

    void close(HANDLE file, WINUSB_INTERFACE_HANDLE usb) override {
        if (usb) winUsb().free(usb);
        if (file) CloseHandle(file);
    }

    bool controlTransfer(WINUSB_INTERFACE_HANDLE usb, const WINUSB_SETUP_PACKET& setup,
                         std::uint8_t* data, ULONG* transferred) override {
        return winUsb().controlTransfer(usb, setup, data, setup.Length, transferred, nullptr);
    }

    bool setPipeTimeout(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG milliseconds) override {
        return winUsb().setPipePolicy(usb, pipe, PIPE_TRANSFER_TIMEOUT, sizeof(milliseconds),
                                      &milliseconds);
    }

    bool writePipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, const std::uint8_t* data, ULONG size,
                   ULONG* written) override {
        return winUsb().writePipe(usb, pipe, const_cast<std::uint8_t*>(data), size, written,
                                  nullptr);
    }

    bool readPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, std::uint8_t* buffer, ULONG size,
                  OVERLAPPED* overlapped) override {
        return winUsb().readPipe(usb, pipe, buffer, size, nullptr, overlapped);
    }

    bool waitFor(OVERLAPPED* overlapped, DWORD milliseconds) override {
        return WaitForSingleObject(overlapped->hEvent, milliseconds) == WAIT_OBJECT_0;
    }

    bool abortPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe) override {
        return winUsb().abortPipe(usb, pipe);
    }

    bool overlappedResult(WINUSB_INTERFACE_HANDLE usb, OVERLAPPED* overlapped, DWORD* transferred,
                          bool wait) override {
        return winUsb().getOverlappedResult(usb, overlapped, transferred, wait);
    }

    // The calling thread's own: links on several threads share this one object.
    DWORD lastError() override { return GetLastError(); }
};

}  // namespace

UsbDeviceApi& systemUsbDeviceApi() {
    static SystemUsbDeviceApi api;
    return api;
}

}  // namespace towerlink
