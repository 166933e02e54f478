// The console of `towerlink virtual --pty`: sensor settings given at start, lines typed on
// standard input while the brick serves, and tasks that stop on a fault reported on standard
// error. POSIX only, like the pseudo-terminal server.
#pragma once

#include <string>
#include <vector>

namespace towerlink {
class PtyBrickServer;
class VirtualBrick;
}  // namespace towerlink

namespace towerlink::tool {

// The console line an option `--sensor N=RAW` stands for, or "" when it is malformed.
std::string sensorOptionLine(const std::string& value);

// Applies `startLines` (false, with the reason on standard error, if one is refused), then
// hands standard input to the server and the brick's diagnostics to standard error.
bool attachConsole(VirtualBrick& brick, PtyBrickServer& server,
                   const std::vector<std::string>& startLines);

}  // namespace towerlink::tool
