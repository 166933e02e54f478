// TowerLink's failures as the HRESULTs that its callers see.
#pragma once

#include <windows.h>
#include <IBrickLink.h>

namespace kestrel::test {

// The HRESULT of one of TowerLink's own failure numbers.
constexpr HRESULT towerLinkError(TowerLinkErrorCode code) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, code);
}

}  // namespace kestrel::test
