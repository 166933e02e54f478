// The typed brick commands: each turns its integers into one command text for the brick link.
// They trap no errors: a failed link call reaches the caller as it came, and the face is left
// alone. Arguments are read, never written back, and never judged here: the link does that.
#include "NumberText.h"
#include "RcxPilot.h"
#include "RunTimeErrors.h"

namespace kestrel {

namespace {

// Short names for the link's two command modes, used by every command below.
constexpr long kLasm = TOWERLINK_MODE_LASM;
constexpr long kStatementForm = TOWERLINK_MODE_STATEMENT;

std::wstring fields(std::initializer_list<short> values) {
    std::wstring text;
    for (short v : values) {
        if (!text.empty()) text += L',';
        text += decimalText(v);
    }
    return text;
}

// A vtable caller may pass a null pointer; late-bound calls never do.
short in(const short* argument) {
    if (!argument) throw ComError(E_POINTER, L"Invalid pointer");
    return *argument;
}

}  // namespace

long RcxPilot::runCommand(const std::wstring& text, long mode) {
    Bstr command(text);
    long position = 0;
    Variant reply;
    return brickLink_->executeCommand(command.inOut(), mode, position, reply.get());
}

STDMETHODIMP RcxPilot::SelectDisplay(short* Source, short* Number) {
    return guarded([&] { runCommand(L"disp 0," + fields({in(Source), in(Number)}), kLasm); });
}

STDMETHODIMP RcxPilot::SetWatch(short* uur, short* minuut) {
    return guarded([&] { runCommand(L"setw " + fields({in(uur), in(minuut)}), kLasm); });
}

STDMETHODIMP RcxPilot::PlaySystemsound(short* Number) {
    return guarded([&] { runCommand(L"Sound " + fields({in(Number)}), kStatementForm); });
}

STDMETHODIMP RcxPilot::PlayTone(short* Frequency, short* Time) {
    return guarded([&] { runCommand(L"playt " + fields({in(Frequency), in(Time)}), kLasm); });
}

STDMETHODIMP RcxPilot::Onn(short* motorlist) {
    return guarded([&] { runCommand(L"out 2," + fields({in(motorlist)}), kLasm); });
}

STDMETHODIMP RcxPilot::Off(short* motorlist) {
    return guarded([&] { runCommand(L"out 1," + fields({in(motorlist)}), kLasm); });
}

STDMETHODIMP RcxPilot::Float(short* motorlist) {
    return guarded([&] { runCommand(L"out 0," + fields({in(motorlist)}), kLasm); });
}

STDMETHODIMP RcxPilot::SetFwd(short* motorlist) {
    return guarded([&] { runCommand(L"dir 0," + fields({in(motorlist)}), kLasm); });
}

STDMETHODIMP RcxPilot::SetRwd(short* motorlist) {
    return guarded([&] { runCommand(L"dir 2," + fields({in(motorlist)}), kLasm); });
}

STDMETHODIMP RcxPilot::AlterDir(short* motorlist) {
    return guarded([&] { runCommand(L"dir 1," + fields({in(motorlist)}), kLasm); });
}

// The power always comes from a constant: source 2 stands between the motors and the power.
STDMETHODIMP RcxPilot::SetPower(short* motorlist, short* power) {
    return guarded([&] { runCommand(L"pwr " + fields({in(motorlist), 2, in(power)}), kLasm); });
}

STDMETHODIMP RcxPilot::SetSensorType(short* Number, short* Typ) {
    return guarded([&] { runCommand(L"sent " + fields({in(Number), in(Typ)}), kLasm); });
}

STDMETHODIMP RcxPilot::SetSensorMode(short* Number, short* Typ, short* slope) {
    return guarded([&] { runCommand(L"senm " + fields({in(Number), in(Typ), in(slope)}), kLasm); });
}

STDMETHODIMP RcxPilot::SelectPrgm(short* Number) {
    return guarded([&] { runCommand(L"prgm " + fields({in(Number)}), kLasm); });
}

STDMETHODIMP RcxPilot::Poll(short* Source, short* Number, LONG* value) {
    RETURN_HR_IF(E_POINTER, !value);
    *value = 0;
    return guarded([&] {
        *value = runCommand(L"poll " + fields({in(Source), in(Number)}), kLasm);
    });
}

STDMETHODIMP RcxPilot::PBattery(short* value) {
    RETURN_HR_IF(E_POINTER, !value);
    *value = 0;
    return guarded([&] { *value = to16(runCommand(L"pollb", kLasm)); });
}

STDMETHODIMP RcxPilot::SetVar(short* Varno, short* Source, short* Number) {
    return guarded([&] {
        runCommand(L"setv " + fields({in(Varno), in(Source), in(Number)}), kLasm);
    });
}

STDMETHODIMP RcxPilot::SetDatalog(short* Size) {
    return guarded([&] { runCommand(L"logz " + fields({in(Size)}), kLasm); });
}

STDMETHODIMP RcxPilot::DatalogNext(short* Source, short* Number) {
    return guarded([&] { runCommand(L"log " + fields({in(Source), in(Number)}), kLasm); });
}

}  // namespace kestrel
