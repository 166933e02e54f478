// The tool's towers on Windows: COMn, USBn and VIRTUAL, opened exactly as TowerLink.dll opens
// them, and the default port kept in HKEY_CURRENT_USER\Software\TowerLink\Port.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "ComError.h"
#include "PortConnection.h"
#include "PortName.h"
#include "ToolPort.h"
#include "UniqueHandle.h"

namespace towerlink::tool {
namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

class ConnectedPort final : public OpenTower {
public:
    explicit ConnectedPort(std::unique_ptr<PortConnection> connection)
        : connection_(std::move(connection)) {}
    Session& session() override { return connection_->session(); }

private:
    std::unique_ptr<PortConnection> connection_;
};

constexpr const wchar_t* kKey = L"Software\\TowerLink";

}  // namespace

const char* const kPortHelp =
    "PORT is COM1..COM256, USB, USB2.. or VIRTUAL; without --port, the default port\n"
    "(TOWERLINK_PORT, else the one 'towerlink port NAME' set, else USB).\n";

Result<std::unique_ptr<OpenTower>, std::string> openPort(const PortRequest& request) {
    const std::wstring text = request.name.empty() ? configuredPortName() : wide(request.name);
    const std::optional<PortName> name = parsePortName(text);
    if (!name) return "unknown port '" + narrow(text) + "': use COMn, USB, USBn or VIRTUAL";
    try {
        VirtualBrickSettings settings;
        if (name->kind == PortKind::Virtual) {
            if (request.faults) {
                auto given = parseVirtualBrickSettings(*request.faults);
                if (!given) return "--faults: " + given.error();
                settings = given.value();
            } else {
                settings = virtualBrickSettingsFromEnvironment();
            }
            if (!request.firmware) settings.firmware = false;
        }
        return std::unique_ptr<OpenTower>(std::make_unique<ConnectedPort>(
            PortConnection::open(*name, TowerRange::Short, settings)));
    } catch (const kestrel::ComError& e) {
        return narrow(e.details().description);
    }
}

int portCommand(const std::string& value) {
    if (value.empty()) {
        std::cout << narrow(configuredPortName()) << std::endl;
        return 0;
    }
    const std::optional<PortName> name = parsePortName(wide(value));
    if (!name) {
        std::cerr << "towerlink: unknown port '" << value << "': use COMn, USB, USBn or VIRTUAL\n";
        return 2;
    }
    const std::wstring canonical = name->text();
    kestrel::RegistryKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), L"Port", 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(canonical.c_str()),
                                static_cast<DWORD>((canonical.size() + 1) * sizeof(wchar_t)));
    }
    if (status != ERROR_SUCCESS) {
        std::cerr << "towerlink: cannot set the default port (error " << status << ")\n";
        return 1;
    }
    std::cout << narrow(canonical) << std::endl;
    wchar_t over[64];
    if (GetEnvironmentVariableW(L"TOWERLINK_PORT", over, 64) > 0) {
        std::cerr << "towerlink: note: TOWERLINK_PORT is set and still takes precedence\n";
    }
    return 0;
}

bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace towerlink::tool
