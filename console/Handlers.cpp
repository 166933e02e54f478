// The handlers as one table: the boxes a button reads, in the method's parameter order, and what
// the button writes back. Calls go through IDispatch by the fixed identifiers of the type library,
// with positional arguments only.
#include "Handlers.h"

#include <kestrel_tlb.h>

#include <array>
#include <string>
#include <vector>

#include "Bstr.h"
#include "ConsoleText.h"
#include "ConsoleWindow.h"
#include "UploadView.h"
#include "Variant.h"
#include "WindowText.h"

namespace kestrel::console {

namespace {

enum class Arguments {
    BoxTexts,   // each box's text as a string value
    Execute,    // the command text, the Lasm flag and a result variable, both by reference
    LocalTime,  // the current hour and minute, by reference
};

enum class Outcome {
    Nothing,
    ResultNumberText,  // the Execute result variable, with its leading blank
    TrueFalse,
    Decimal16,
    Decimal32,
    DatalogList,
};

struct Handler {
    std::wstring_view button;
    DISPID method;
    Arguments arguments;
    std::array<std::wstring_view, 3> boxes;
    Outcome outcome;
    std::wstring_view target;
};

constexpr std::array kHandlers = std::to_array<Handler>({
    {L"CmdSend",
     DISPID_RCX_EXECUTE,
     Arguments::Execute,
     {L"TxtCommand", L"ChkLasm"},
     Outcome::ResultNumberText,
     L"TxtResult"},
    {L"CmdReconnect", DISPID_RCX_RECONNECT, Arguments::BoxTexts, {}, Outcome::Nothing, {}},
    {L"CmdRCXAlive",
     DISPID_RCX_PBALIVEORNOT,
     Arguments::BoxTexts,
     {},
     Outcome::TrueFalse,
     L"TxtResult"},
    {L"CmdView",
     DISPID_RCX_SELECTDISPLAY,
     Arguments::BoxTexts,
     {L"TxtViewSource", L"TxtViewNumber"},
     Outcome::Nothing,
     {}},
    {L"CmdSetWatch", DISPID_RCX_SETWATCH, Arguments::LocalTime, {}, Outcome::Nothing, {}},
    {L"CmdSystSound",
     DISPID_RCX_PLAYSYSTEMSOUND,
     Arguments::BoxTexts,
     {L"TxtSystemSound"},
     Outcome::Nothing,
     {}},
    {L"CmdPlayTone",
     DISPID_RCX_PLAYTONE,
     Arguments::BoxTexts,
     {L"TxtFrequency", L"TxtDuration"},
     Outcome::Nothing,
     {}},
    {L"CmdOn", DISPID_RCX_ONN, Arguments::BoxTexts, {L"TxtMotor"}, Outcome::Nothing, {}},
    {L"CmdOff", DISPID_RCX_OFF, Arguments::BoxTexts, {L"TxtMotor"}, Outcome::Nothing, {}},
    {L"CmdFloat", DISPID_RCX_FLOAT, Arguments::BoxTexts, {L"TxtMotor"}, Outcome::Nothing, {}},
    {L"CmdSetFwd", DISPID_RCX_SETFWD, Arguments::BoxTexts, {L"TxtMotor"}, Outcome::Nothing, {}},
    {L"CmdSetRwd", DISPID_RCX_SETRWD, Arguments::BoxTexts, {L"TxtMotor"}, Outcome::Nothing, {}},
    {L"CmdAlterDir", DISPID_RCX_ALTERDIR, Arguments::BoxTexts, {L"TxtMotor"}, Outcome::Nothing, {}},
    {L"CmdSetPower",
     DISPID_RCX_SETPOWER,
     Arguments::BoxTexts,
     {L"TxtMotor", L"TxtPower"},
     Outcome::Nothing,
     {}},
    {L"CmdSetSensType",
     DISPID_RCX_SETSENSORTYPE,
     Arguments::BoxTexts,
     {L"TxtInput", L"TxtType"},
     Outcome::Nothing,
     {}},
    {L"CmdSetSensMode",
     DISPID_RCX_SETSENSORMODE,
     Arguments::BoxTexts,
     {L"TxtInput", L"TxtInpMod", L"TxtSlope"},
     Outcome::Nothing,
     {}},
    {L"CmdSelectPrgm",
     DISPID_RCX_SELECTPRGM,
     Arguments::BoxTexts,
     {L"TxtPrgm"},
     Outcome::Nothing,
     {}},
    {L"CmdPoll",
     DISPID_RCX_POLL,
     Arguments::BoxTexts,
     {L"TxtPollSource", L"TxtPNumber"},
     Outcome::Decimal32,
     L"TxtPoll"},
    {L"CmdBattery", DISPID_RCX_PBATTERY, Arguments::BoxTexts, {}, Outcome::Decimal16, L"TxtResult"},
    {L"CmdSetVar",
     DISPID_RCX_SETVAR,
     Arguments::BoxTexts,
     {L"TxtVar", L"TxtVarSource", L"TxtVarNumber"},
     Outcome::Nothing,
     {}},
    {L"CmdSetDlg",
     DISPID_RCX_SETDATALOG,
     Arguments::BoxTexts,
     {L"TxtDlgSize"},
     Outcome::Nothing,
     {}},
    {L"CmdDlgNext",
     DISPID_RCX_DATALOGNEXT,
     Arguments::BoxTexts,
     {L"TxtDlgNS", L"TxtDlgNN"},
     Outcome::Nothing,
     {}},
    {L"CmdDlgUpload",
     DISPID_RCX_UPLOADDATALOG,
     Arguments::BoxTexts,
     {L"TxtDlgF", L"TxtDlgs"},
     Outcome::DatalogList,
     L"List1"},
});

// Calls block the window; the wait cursor says so until the call returns.
class WaitCursor {
public:
    explicit WaitCursor(ConsoleWindow& form) : form_(form) { form_.setCallRunning(true); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { form_.setCallRunning(false); }

private:
    ConsoleWindow& form_;
};

HWND box(ConsoleWindow& form, std::wstring_view name) {
    HWND window = form.control(name);
    if (!window) throw ComError(E_UNEXPECTED, std::wstring(name) + L" is not on the form");
    return window;
}

void setText(HWND window, const std::wstring& text) {
    SetWindowTextW(window, text.c_str());
}

Variant stringValue(const std::wstring& text) {
    Variant value;
    Bstr b(text);
    V_VT(value.get()) = VT_BSTR;
    V_BSTR(value.get()) = b.release();
    return value;
}

template <typename T>
Variant reference(VARTYPE type, T* target) {
    Variant value;
    V_VT(value.get()) = type | VT_BYREF;
    V_BYREF(value.get()) = target;
    return value;
}

// What a failed call reports: the exception's number and description when the method raised
// one, the failure's own number and system text otherwise.
ErrorDetails failureOf(HRESULT hr, EXCEPINFO& exception) {
    if (hr != DISP_E_EXCEPTION) return takeErrorInfo(hr);
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    const Bstr description = Bstr::adopt(exception.bstrDescription);
    const Bstr source = Bstr::adopt(exception.bstrSource);
    const Bstr helpFile = Bstr::adopt(exception.bstrHelpFile);
    HRESULT number = exception.scode;
    if (number == S_OK) number = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, exception.wCode);
    ErrorDetails details = takeErrorInfo(number);
    if (!description.view().empty()) details.description = description.str();
    details.source = source.str();
    details.helpFile = helpFile.str();
    return details;
}

// Arguments in the method's parameter order; the call hands them over last first.
Variant call(ConsoleWindow& form, DISPID method, std::vector<Variant>& arguments) {
    IDispatch& pilot = form.pilot();
    std::vector<VARIANT> reversed;
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(*it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant result;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    // A stale description left on the thread must not be taken for this call's.
    SetErrorInfo(0, nullptr);
    HRESULT hr;
    {
        WaitCursor wait(form);
        hr = pilot.Invoke(method, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                          result.put(), &exception, &argumentError);
    }
    if (FAILED(hr)) throw ComError(failureOf(hr, exception));
    return result;
}

void convert(Variant& value, VARTYPE type) {
    throwIfFailed(VariantChangeTypeEx(value.get(), value.get(), LOCALE_INVARIANT, 0, type));
}

}  // namespace

void runClickHandler(std::wstring_view button, ConsoleWindow& form) {
    const Handler* handler = nullptr;
    for (const Handler& h : kHandlers)
        if (h.button == button) handler = &h;
    if (!handler) return;

    // The list shows nothing of an earlier upload, whatever happens to this one.
    if (handler->outcome == Outcome::DatalogList)
        SendMessageW(box(form, handler->target), LB_RESETCONTENT, 0, 0);

    std::vector<Variant> arguments;
    LONG executeResult = 0;
    VARIANT_BOOL lasm = VARIANT_FALSE;
    SYSTEMTIME now{};
    short hour = 0;
    short minute = 0;
    switch (handler->arguments) {
        case Arguments::BoxTexts:
            for (std::wstring_view name : handler->boxes)
                if (!name.empty()) arguments.push_back(stringValue(windowText(box(form, name))));
            break;
        case Arguments::Execute:
            arguments.push_back(stringValue(windowText(box(form, handler->boxes[0]))));
            lasm = SendMessageW(box(form, handler->boxes[1]), BM_GETCHECK, 0, 0) == BST_CHECKED
                       ? VARIANT_TRUE
                       : VARIANT_FALSE;
            arguments.push_back(reference(VT_BOOL, &lasm));
            arguments.push_back(reference(VT_I4, &executeResult));
            break;
        case Arguments::LocalTime:
            GetLocalTime(&now);
            hour = static_cast<short>(now.wHour);
            minute = static_cast<short>(now.wMinute);
            arguments.push_back(reference(VT_I2, &hour));
            arguments.push_back(reference(VT_I2, &minute));
            break;
    }

    Variant result = call(form, handler->method, arguments);

    switch (handler->outcome) {
        case Outcome::Nothing: break;
        case Outcome::ResultNumberText:
            setText(box(form, handler->target), numberText(executeResult));
            break;
        case Outcome::TrueFalse:
            convert(result, VT_BOOL);
            setText(box(form, handler->target), V_BOOL(result.get()) ? L"True" : L"False");
            break;
        case Outcome::Decimal16:
            convert(result, VT_I2);
            setText(box(form, handler->target), std::to_wstring(V_I2(result.get())));
            break;
        case Outcome::Decimal32:
            convert(result, VT_I4);
            setText(box(form, handler->target), std::to_wstring(V_I4(result.get())));
            break;
        case Outcome::DatalogList:
            showDatalog(box(form, handler->target), form.window(), *result.get());
            break;
    }
}

}  // namespace kestrel::console
