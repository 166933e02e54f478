// What the face shows of the link: the port, that it is opened, the link status, and the error
// report with its help-file check that every error path of the control ends in.
#include "CatchFailure.h"
#include "ErrorReport.h"
#include "NumberText.h"
#include "RcxPilot.h"

namespace kestrel {

namespace {

std::wstring statusText(long code) {
    switch (code) {
        case TOWERLINK_STATUS_TRANSFERRING: return L"Downloading";
        case TOWERLINK_STATUS_READY: return L"Ready";
        case TOWERLINK_STATUS_NOT_OPENED: return L"Not opened";
        case TOWERLINK_STATUS_NO_TOWER: return L"No tower";
        case TOWERLINK_STATUS_BAD_TOWER: return L"Bad tower";
        case TOWERLINK_STATUS_NO_BRICK: return L"No brick";
        case TOWERLINK_STATUS_NO_FIRMWARE: return L"No firmware";
        case TOWERLINK_STATUS_BAD_BATTERY: return L" bad battery";
        case TOWERLINK_STATUS_BAD_COMMUNICATION: return L"Bad comms";
        case TOWERLINK_STATUS_BUSY: return L"Busy";
        default: return L"Status: " + numberText(code);
    }
}

}  // namespace

void RcxPilot::showPort() {
    if (auto failure = catchFailure([&] {
            brickLink_->getPortName(port_);
            face_.setCaption(L"Port: " + port_.str());
        }))
        reportError(*failure);
}

void RcxPilot::openLink() {
    if (auto failure = catchFailure([&] {
            brickLink_->openPort(port_);
            face_.setCaption(L"Opened " + port_.str());
        }))
        reportError(*failure);
}

// A status that cannot be read leaves the previous step's text standing.
void RcxPilot::showStatus() {
    catchFailure([&] { face_.setCaption(statusText(brickLink_->getInfo(TOWERLINK_INFO_STATUS))); });
}

// A failure while reporting passes on to whoever called the step.
void RcxPilot::reportError(const ErrorDetails& error) {
    face_.setCaption(errorReport(error.number, error.description));
    checkHelpFile(error);
}

void RcxPilot::checkHelpFile(const ErrorDetails& error) {
    if (error.helpFile.empty()) face_.showMessage(L"No Err.HelpFile");
}

}  // namespace kestrel
