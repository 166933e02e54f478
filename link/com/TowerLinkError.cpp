// Descriptions and error information of TowerLink's failures.
#include "TowerLinkError.h"

#include "Module.h"
#include "IBrickLink.h"

namespace towerlink {

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

const kestrel::Boundary kBoundary{&IID_IBrickLink, L"TowerLink", &errorReferencePath};

HRESULT hresultOf(TowerLinkError error) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, static_cast<unsigned>(error));
}

std::wstring errorReferencePath() {
    std::wstring path = kestrel::module::path();
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + L"TowerLink-errors.html";
}

void raise(TowerLinkError error, std::wstring description) {
    throw kestrel::ComError(hresultOf(error), std::move(description));
}

void raiseLinkFailure(const Failure& failure, const std::wstring& port, bool commandSent) {
    const std::wstring mayHaveRun =
        commandSent ? L". The brick may have carried out the command: only its reply was lost"
                    : L"";
    switch (failure.error) {
        case LinkError::NoTower:
            if (failure.osError != 0) {
                raise(TowerLinkError::NoTower,
                      L"The tower on " + port + L" stopped working (" +
                          kestrel::systemErrorText(static_cast<DWORD>(failure.osError)) +
                          L"): check that it is plugged in, then open the port again");
            }
            raise(TowerLinkError::NoTower,
                  L"No tower answers on " + port +
                      L": check that the tower is plugged into this port and that its battery "
                      L"is charged");
        case LinkError::BadTower:
            raise(TowerLinkError::BadTower,
                  L"Something answers on " + port +
                      L", but not as a LEGO tower does: check that the tower, and no other "
                      L"device, is plugged into this port");
        case LinkError::NoBrick:
            raise(TowerLinkError::NoBrick,
                  L"The brick does not answer: check that it is on and within reach of the "
                  L"tower" +
                      mayHaveRun);
        case LinkError::NoFirmware:
            raise(TowerLinkError::NoFirmware,
                  L"No firmware on the brick: download the firmware to the brick, then try again");
        case LinkError::BadCommunication:
            raise(TowerLinkError::BadCommunication,
                  L"The brick's replies arrive damaged: bring the brick closer to the tower and "
                  L"keep both out of bright light" +
                      mayHaveRun);
        case LinkError::BadArgument: break;
    }
    raise(TowerLinkError::BadArgument,
          L"The request cannot be sent to the brick (" + widen(failure.message) + L")");
}

}  // namespace towerlink
