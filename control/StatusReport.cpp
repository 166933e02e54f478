// What the face shows of the link: the port, that it is opened, the link status, and the error
// report with its help-file check that every error path of the control ends in.
#include "Attempt.h"
#include "NumberText.h"
#include "RcxPilot.h"

namespace kestrel {

namespace {

std::wstring statusText(long code) {
    switch (code) {
        case 0: return L"Downloading";
        case 1: return L"Ready";
        case 3: return L"Not opened";
        case 4: return L"No tower";
        case 5: return L"Bad tower";
        case 6: return L"No brick";
        case 7: return L"No firmware";
        case 8: return L" bad battery";
        case 11: return L"Bad comms";
        case 12: return L"Busy";
        default: return L"Status: " + numberText(code);
    }
}

}  // namespace

void RcxPilot::showPort() {
    if (auto failure = attempt([&] {
            vpb_->getPortName(port_);
            face_.setCaption(L"Port: " + port_.str());
        }))
        reportError(*failure);
}

void RcxPilot::openLink() {
    if (auto failure = attempt([&] {
            vpb_->openPort(port_);
            face_.setCaption(L"Opened " + port_.str());
        }))
        reportError(*failure);
}

// A status that cannot be read leaves the previous step's text standing.
void RcxPilot::showStatus() {
    attempt([&] { face_.setCaption(statusText(vpb_->getInfo(TOWERLINK_INFO_STATUS))); });
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
