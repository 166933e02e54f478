// What the towerlink tool needs from the system it runs on: the towers it can open, the default
// port, and whether standard error is a terminal. ToolPortPosix.cpp and ToolPortWin32.cpp each
// implement it; main.cpp stays the same on both.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Result.h"
#include "Session.h"

namespace towerlink::tool {

struct PortRequest {
    std::string name;  // as given with --port; empty for the system's default
    // The virtual brick's settings as given with --faults; on Windows, when there are none,
    // those of TOWERLINK_VIRTUAL_FAULTS, as TowerLink.dll reads them.
    std::optional<std::string> faults;
    bool firmware = true;  // whether a virtual brick starts with firmware
};

// An open tower with a session on it; owns whatever the tower needs (a virtual brick too).
class OpenTower {
public:
    virtual ~OpenTower() = default;
    virtual Session& session() = 0;
};

// The port, or the sentence to print when it cannot be opened.
Result<std::unique_ptr<OpenTower>, std::string> openPort(const PortRequest& request);

// The PORT paragraph of the usage text.
extern const char* const kPortHelp;

#ifdef _WIN32
// `towerlink port [NAME]`: shows or sets the default port; returns the exit code. Only Windows
// keeps a default port.
int portCommand(const std::string& name);
#endif

bool standardErrorIsTerminal();

}  // namespace towerlink::tool
