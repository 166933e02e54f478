// Standard input and error for the virtual brick's console.
#include "VirtualConsole.h"

#include <unistd.h>

#include <iostream>
#include <memory>

#include "BrickConsole.h"
#include "PtyBrickServer.h"
#include "VirtualBrick.h"

namespace towerlink::tool {

std::string sensorOptionLine(const std::string& value) {
    const std::size_t eq = value.find('=');
    if (eq == std::string::npos) return "";
    return "sensor " + value.substr(0, eq) + " " + value.substr(eq + 1);
}

bool attachConsole(VirtualBrick& brick, PtyBrickServer& server,
                   const std::vector<std::string>& startLines) {
    auto console = std::make_shared<BrickConsole>(brick);
    for (const std::string& line : startLines) {
        auto r = console->execute(line);
        if (!r) {
            std::cerr << "towerlink: --sensor: " << r.error().message << "\n";
            return false;
        }
    }
    brick.interpreter().setDiagnosticSink(
        [](const std::string& text) { std::cerr << "towerlink: " << text << std::endl; });
    server.setConsole(STDIN_FILENO, [console](std::string_view line) {
        auto r = console->execute(line);
        if (r) {
            std::cout << r.value() << std::flush;
        } else {
            std::cerr << "towerlink: " << r.error().message << std::endl;
        }
    });
    return true;
}

}  // namespace towerlink::tool
