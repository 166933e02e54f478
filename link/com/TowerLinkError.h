// TowerLink's own failure numbers (FACILITY_ITF), raised inside as ComError with a description
// the user can act on and reported at the boundary. TowerLink-errors.html documents each.
#pragma once

#include <objbase.h>

#include <string>

#include "ComError.h"
#include "LinkError.h"

namespace towerlink {

enum class TowerLinkError : unsigned {
    NotOpened = 0x201,   // a call that needs the port before OpenPort or after ClosePort
    UnknownPort,         // a port name that is none of COMn, USBn, VIRTUAL
    PortBusy,            // another program (or another link) holds the port
    NoTower,             // the port is missing, or no tower answers on it
    BadTower,            // something answers on the port, but not as a tower
    NoBrick,             // the tower works, the brick stays silent
    NoFirmware,          // the brick answers from its ROM only
    BadCommunication,    // every reply came back damaged
    CommandText,         // the command text cannot be read
    BadMode,             // ExecuteCommand's mode is neither 0 nor 2
    BadItem,             // GetInfo's item is none of 3, 4, 6
    BadLinkMode,         // SetLinkMode's value is none of 5, 6, 7
    Busy,                // a call arrived while a datalog transfer was running
    BadArgument,         // a null pointer or a position before the datalog
    BadVirtualSettings,  // TOWERLINK_VIRTUAL_FAULTS cannot be read
    BadFirmwareFile,     // the firmware file cannot be read or is not a firmware image
    FirmwareDownload,    // the brick did not take the firmware; it is left without any
};

HRESULT hresultOf(TowerLinkError error);

// Full path of TowerLink-errors.html in the folder of the DLL.
std::wstring errorReferencePath();

[[noreturn]] void raise(TowerLinkError error, std::wstring description);

// Raises the failure of a brick exchange on `port` with its user-facing description. After a
// command was sent, a lost reply does not mean the command did not run: the description says so.
[[noreturn]] void raiseLinkFailure(const Failure& failure, const std::wstring& port,
                                   bool commandSent = false);

// Where TowerLink's methods report their failures: source "TowerLink", and the error reference
// as help file with the number's section as help context.
extern const kestrel::Boundary kBoundary;

}  // namespace towerlink
