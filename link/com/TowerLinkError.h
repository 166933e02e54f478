// TowerLink's own failure numbers (FACILITY_ITF), raised inside as ComError with a description
// the user can act on and reported at the boundary. TowerLink-errors.html documents each.
#pragma once

#include <objbase.h>

#include <string>

#include "ComError.h"
#include "IBrickLink.h"
#include "LinkError.h"

namespace towerlink {

enum class TowerLinkError : unsigned {
    // a call that needs the port before OpenPort or after ClosePort
    NotOpened = TOWERLINK_E_NOT_OPENED,
    // a port name that is none of COMn, USBn, VIRTUAL
    UnknownPort = TOWERLINK_E_UNKNOWN_PORT,
    // another program (or another link) holds the port
    PortBusy = TOWERLINK_E_PORT_BUSY,
    // the port is missing, or no tower answers on it
    NoTower = TOWERLINK_E_NO_TOWER,
    // something answers on the port, but not as a tower
    BadTower = TOWERLINK_E_BAD_TOWER,
    // the tower works, the brick stays silent
    NoBrick = TOWERLINK_E_NO_BRICK,
    // the brick answers from its ROM only
    NoFirmware = TOWERLINK_E_NO_FIRMWARE,
    // every reply came back damaged
    BadCommunication = TOWERLINK_E_BAD_COMMUNICATION,
    // the command text cannot be read
    CommandText = TOWERLINK_E_COMMAND_TEXT,
    // ExecuteCommand's mode is neither 0 nor 2
    BadMode = TOWERLINK_E_BAD_MODE,
    // GetInfo's item is none of 3, 4, 6
    BadItem = TOWERLINK_E_BAD_ITEM,
    // SetLinkMode's value is none of 5, 6, 7
    BadLinkMode = TOWERLINK_E_BAD_LINK_MODE,
    // a call arrived while a datalog transfer was running
    Busy = TOWERLINK_E_BUSY,
    // a null pointer or a position before the datalog
    BadArgument = TOWERLINK_E_BAD_ARGUMENT,
    // TOWERLINK_VIRTUAL_FAULTS cannot be read
    BadVirtualSettings = TOWERLINK_E_BAD_VIRTUAL_SETTINGS,
    // the file is unreadable or no firmware image
    BadFirmwareFile = TOWERLINK_E_BAD_FIRMWARE_FILE,
    // the brick did not take the firmware
    FirmwareDownload = TOWERLINK_E_FIRMWARE_DOWNLOAD,
    // DownloadProgram's slot is none of 0 to 5
    BadProgramSlot = TOWERLINK_E_BAD_PROGRAM_SLOT,
    // the file is missing, unreadable, too large or no program image
    BadProgramFile = TOWERLINK_E_BAD_PROGRAM_FILE,
    // the brick did not take the program
    ProgramDownload = TOWERLINK_E_PROGRAM_DOWNLOAD,
};

HRESULT hresultOf(TowerLinkError error);

// The link core's messages are ASCII; descriptions are wide.
std::wstring widen(const std::string& text);

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
