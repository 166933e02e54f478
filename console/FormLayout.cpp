// Form1's controls in the order of the form's bands, top to bottom.
#include "FormLayout.h"

#include <array>

namespace kestrel::console {

namespace {

using enum ControlKind;

constexpr std::array kLayout = std::to_array<ControlLayout>({
    {L"Label27", Label, L"The kestrel.ocx (makes the commands work), can be made invisible:", 6120,
     0, 2775, 495, kNoTabPlace},
    {L"CmdReconnect", Button, L"(Re)connect ", 120, 120, 495, 855, 3},
    {L"Frame1", Frame, L"Send commands directly (LASM or Mindscr.)", 720, 120, 3255, 1575,
     kNoTabPlace},
    {L"CmdBattery", Button, L"How full is the Battery?", 4080, 120, 1815, 495, 5},
    {L"ChkLasm", CheckBox, L"Lasm", 840, 480, 735, 255, 2},
    {L"Label1", Label, L"Command:", 1560, 480, 735, 375, kNoTabPlace, L"Frame1"},
    {L"TxtCommand", TextBox, L"", 2400, 480, 1455, 375, 0},
    {L"CmdRCXAlive", Button, L"Tower Alive?", 4080, 600, 1815, 495, 6},
    {L"RcxPilot1", RcxPilot, L"", 6120, 600, 2895, 855, 7},
    {L"CmdSend", Button, L"Send", 2400, 840, 1455, 495, 1},
    {L"CmdSetWatch", Button, L"SetWatch", 4080, 1080, 1815, 495, 67},
    {L"Label28", GroupLabel, L"System", 120, 1200, 615, 375, kNoTabPlace},
    {L"Label2", Label, L"Result:", 1680, 1200, 615, 375, kNoTabPlace, L"Frame1"},
    {L"TxtResult", TextBox, L"", 2400, 1320, 1455, 375, 4},
    {L"Label3", Label, L"Motor (1=A,2=B,4=C or combinations 5=A+C)", 120, 1800, 1575, 615,
     kNoTabPlace},
    {L"TxtMotor", TextBox, L"1", 1920, 1800, 1455, 375, 8},
    {L"CmdOn", Button, L"On", 3600, 1800, 855, 375, 10},
    {L"CmdOff", Button, L"Off", 4560, 1800, 735, 375, 11},
    {L"CmdFloat", Button, L"Float", 5400, 1800, 735, 375, 12},
    {L"CmdSetFwd", Button, L"SetFwd", 6600, 1800, 735, 375, 13},
    {L"CmdSetRwd", Button, L"SetRwd", 7440, 1800, 735, 375, 14},
    {L"CmdAlterDir", Button, L"AlterDir", 8280, 1800, 735, 375, 15},
    {L"TxtPower", TextBox, L"1", 1920, 2280, 1455, 375, 18},
    {L"CmdSetPower", Button, L"SetPower", 3600, 2280, 855, 375, 17},
    {L"Label4", Label, L"Power (1=little until 8=full)", 120, 2400, 1695, 495, kNoTabPlace},
    {L"Label5", Label,
     L"Systemsound(1=click,2=beep beep, 3=Decreasing sweep, 4=Increasing sweep, 5=Buhhh, "
     L"6=FastSweep",
     120, 3000, 6255, 375, kNoTabPlace},
    {L"TxtSystemSound", TextBox, L"1", 6240, 3000, 735, 375, 20},
    {L"CmdSystSound", Button, L"Play SystemSound", 7080, 3000, 1935, 375, 73},
    {L"Label29", GroupLabel, L"Output", 120, 3480, 615, 375, kNoTabPlace},
    {L"Label7", Label, L"Frequency", 2160, 3480, 1095, 375, kNoTabPlace},
    {L"TxtFrequency", TextBox, L"1000", 3480, 3480, 1095, 375, 23},
    {L"Label8", Label, L"Duration(*10ms)", 4680, 3480, 1455, 375, kNoTabPlace},
    {L"TxtDuration", TextBox, L"100", 6240, 3480, 735, 375, 24},
    {L"CmdPlayTone", Button, L"PlayTone", 7080, 3480, 1935, 375, 25},
    {L"Label10", Label, L"Input Port (0, 1 or 2)", 120, 4080, 2775, 375, kNoTabPlace},
    {L"TxtInput", TextBox, L"1", 1800, 4080, 975, 375, 28},
    {L"Label9", Label, L"SensorType (1=switch, 2=Temp , 3=Light, 4+Angle)", 2880, 4080, 4575, 255,
     kNoTabPlace},
    {L"TxtType", TextBox, L"1", 7080, 4080, 615, 375, 29},
    {L"CmdSetSensType", Button, L"SetSensType", 7800, 4080, 1215, 375, 30},
    {L"Label30", GroupLabel, L"Input etc.", 120, 4560, 615, 375, kNoTabPlace},
    {L"Label14", Label, L"SensorMode (0=raw,1=Bool, 2,3=Transitions,4=Percent,etc.) ", 1080, 4560,
     2295, 375, kNoTabPlace},
    {L"TxtInpMod", TextBox, L"1", 3840, 4560, 975, 375, 69},
    {L"Label26", Label, L"Slope(0=absolute,1-31=change between 2 meas. to get True ", 4920, 4560,
     2055, 495, kNoTabPlace},
    {L"TxtSlope", TextBox, L"0", 7080, 4560, 615, 375, 71},
    {L"CmdSetSensMode", Button, L"SetSensMode", 7800, 4560, 1215, 375, 68},
    {L"Label11", Label,
     L"Source (0=variabel, 1=Timer,2=constant, 3=motor status, 8= nr of actual program, "
     L"9=sensorvalue, 10=sensortype, 11=sensormode, 12=SensorRaw, 13=SensorBoolean, 14=watch, "
     L"15=PBMessage",
     120, 5040, 7095, 495, kNoTabPlace},
    {L"TxtPollSource", TextBox, L"9", 7800, 5040, 1215, 375, 32},
    {L"Label12", Label,
     L"Number (var 0-31, timer 1-3, motor 0-2, sensor 0-2, watch and PBMessage 0", 120, 5520, 3495,
     375, kNoTabPlace},
    {L"TxtPNumber", TextBox, L"1", 3840, 5520, 975, 375, 34},
    {L"CmdPoll", Button, L"Poll", 5160, 5520, 1335, 375, 35},
    {L"Label13", Label, L"Value:", 6840, 5520, 735, 375, kNoTabPlace},
    {L"TxtPoll", TextBox, L"", 7800, 5520, 1215, 375, 36},
    {L"Label15", Label, L"Explenation Source and number see above; view=put on display ", 360, 6120,
     3375, 495, kNoTabPlace},
    {L"TxtViewSource", TextBox, L"2", 3840, 6120, 375, 285, 39},
    {L"Label16", Label, L"Number:", 4440, 6120, 735, 375, kNoTabPlace},
    {L"TxtViewNumber", TextBox, L"0", 5160, 6120, 495, 285, 41},
    {L"CmdView", Button, L"View", 5760, 6120, 735, 255, 42},
    {L"List1", ListBox, L"", 6600, 6120, 2535, 1035, 66},
    {L"Label17", Label, L"SelectProgram (0-4)", 2160, 6480, 1575, 255, kNoTabPlace},
    {L"TxtPrgm", TextBox, L"0", 3840, 6480, 735, 285, 44},
    {L"CmdSelectPrgm", Button, L"SelectPrgm", 5400, 6480, 1095, 255, 45},
    {L"Label31", GroupLabel, L"Variety", 120, 6580, 615, 255, kNoTabPlace},
    {L"Label18", Label, L"SerVar (variabele 0-31)", 360, 6840, 1095, 375, kNoTabPlace},
    {L"TxtVar", TextBox, L"31", 1560, 6840, 495, 375, 47},
    {L"Label19", Label, L"Source (0=var, 1=timer, 2=const, 9=sens)", 2160, 6840, 1695, 375,
     kNoTabPlace},
    {L"TxtVarSource", TextBox, L"2", 3840, 6840, 735, 405, 49},
    {L"Label20", Label, L"Value ", 4680, 6840, 615, 375, kNoTabPlace},
    {L"TxtVarNumber", TextBox, L"0", 5160, 6840, 495, 375, 51},
    {L"CmdSetVar", Button, L"SetVar", 5760, 6840, 735, 375, 52},
    {L"Label32", GroupLabel, L"DataLog", 120, 7320, 615, 255, kNoTabPlace},
    {L"Label23", Label, L"From", 6600, 7320, 495, 375, kNoTabPlace},
    {L"Label24", Label, L"Size (0=all)", 7200, 7320, 975, 255, kNoTabPlace},
    {L"TxtDlgNS", TextBox, L"9", 5160, 7410, 495, 285, 57},
    {L"CmdSetDlg", Button, L"SetSize and Clear", 2160, 7440, 975, 495, 55},
    {L"Label22", Label, L"Next source (0,1,9 or 14)", 3240, 7440, 2055, 375, kNoTabPlace},
    {L"CmdDlgNext", Button, L"Next", 5760, 7440, 735, 495, 58},
    {L"CmdDlgUpload", Button, L"Upload", 8040, 7440, 1095, 495, 61},
    {L"Label21", Label, L"Size of Datalog (now max 99)", 360, 7560, 1215, 375, kNoTabPlace},
    {L"TxtDlgSize", TextBox, L"99", 1560, 7560, 495, 375, 54},
    {L"TxtDlgF", TextBox, L"0", 6600, 7560, 495, 375, 60},
    {L"TxtDlgs", TextBox, L"0", 7200, 7560, 495, 375, 63},
    {L"Label25", Label, L"NextNumber(14,0=watch)", 3240, 7680, 1935, 255, kNoTabPlace},
    {L"TxtDlgNN", TextBox, L"0", 5160, 7680, 495, 285, 65},
    {L"Line1", Line, L"", 0, 1680, 7200, 0, kNoTabPlace},
    {L"Line2", Line, L"", 120, 2880, 8880, 0, kNoTabPlace},
    {L"Line3", Line, L"", 120, 3960, 8880, 0, kNoTabPlace},
    {L"Line4", Line, L"", 120, 6000, 8520, 0, kNoTabPlace},
    {L"Line5", Line, L"", 120, 7320, 6360, 0, kNoTabPlace},
});

}  // namespace

std::span<const ControlLayout> formLayout() {
    return kLayout;
}

const ControlLayout* findControl(std::wstring_view name) {
    for (const ControlLayout& control : kLayout)
        if (control.name == name) return &control;
    return nullptr;
}

}  // namespace kestrel::console
