// The closed set of outcomes a brick exchange can end with, and the failure value that carries
// one of them together with a readable message and the operating system's own error number.
#pragma once

#include <string>

namespace towerlink {

enum class LinkError {
    NoTower,           // the port cannot be opened or used, or a serial tower echoes nothing
    BadTower,          // something answers on the port, but not as a tower does
    NoBrick,           // the tower works, the brick stays silent
    NoFirmware,        // the brick's ROM answers, but it holds no firmware
    BadCommunication,  // replies came back, but every one of them was corrupt
    BadArgument,       // the caller asked for something the link cannot send
};

// Short English name of an outcome ("no brick"), used in messages and by the tool.
const char* linkErrorName(LinkError error);

struct Failure {
    LinkError error;
    std::string message;
    int osError = 0;  // errno or GetLastError() when the transport failed, else 0
};

}  // namespace towerlink
