// The link's life in the control: start-up on creation, the ready check of Reconnect, the two
// alive queries, and closing the link on destruction.
#include "CatchFailure.h"
#include "RcxPilot.h"

namespace kestrel {

// Each step reports its own failure and start-up goes on; only a failure inside a step's error
// path ends start-up early, in start-up's own error path.
void RcxPilot::initialize() {
    auto failure = catchFailure([&] {
        showPort();
        openLink();
        showStatus();
        reconnect();
    });
    // Nothing is left to tell if even start-up's error path fails.
    if (failure) catchFailure([&] { reportError(*failure); });
}

void RcxPilot::terminate() {
    if (terminated_) return;
    terminated_ = true;
    // A link that cannot close is released all the same.
    if (brickLink_) catchFailure([&] { brickLink_->closePort(); });
}

void RcxPilot::applyLinkMode(long setting) {
    if (setting >= TOWERLINK_RANGE_SHORT_OF_TWO && setting <= TOWERLINK_RANGE_LONG)
        brickLink_->setLinkMode(static_cast<short>(setting));
}

void RcxPilot::reconnect() {
    if (auto failure = catchFailure([&] {
            const long setting = brickLink_->getInfo(TOWERLINK_INFO_LINK_SETTING);
            applyLinkMode(setting);
            if (brickLink_->getInfo(TOWERLINK_INFO_STATUS) == TOWERLINK_STATUS_READY) {
                // A tower of two ranges, set to short, gets its own ready signal.
                runCommand(setting == TOWERLINK_RANGE_SHORT_OF_TWO ? L"sound 25" : L"sound 3",
                           TOWERLINK_MODE_STATEMENT);
                face_.setCaption(L"Ok");
            } else {
                face_.setCaption(L"Not ready");
            }
        }))
        reportError(*failure);
}

STDMETHODIMP RcxPilot::Reconnect() {
    return guarded([&] { reconnect(); });
}

STDMETHODIMP RcxPilot::PBAliveOrNot(VARIANT_BOOL* alive) {
    RETURN_HR_IF(E_POINTER, !alive);
    *alive = VARIANT_FALSE;
    return guarded([&] {
        *alive = runCommand(L"ping", TOWERLINK_MODE_LASM) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

// Asks the link whether a tower answers on the open port; a missing tower, or a link that cannot
// tell, is simply False.
STDMETHODIMP RcxPilot::TowerAlive(VARIANT_BOOL* alive) {
    RETURN_HR_IF(E_POINTER, !alive);
    *alive = VARIANT_FALSE;
    const ComPtr<_RcxPilot> self(this);
    catchFailure([&] {
        if (brickLink_->getInfo(TOWERLINK_INFO_TOWER_ANSWERS) != 0) *alive = VARIANT_TRUE;
    });
    return S_OK;
}

}  // namespace kestrel
