// RcxPilot's automation layer and its typed brick commands, called late-bound as the test
// console and script clients call them, against the scripted fake link.
#include <olectl.h>

#include "Bstr.h"
#include "ControlFixture.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

HRESULT callWithTexts(IDispatch* target, DISPID id, const std::vector<const wchar_t*>& texts,
                      VARIANT* result = nullptr, EXCEPINFO* exception = nullptr,
                      UINT* argError = nullptr) {
    std::vector<VARIANT> args;
    for (const wchar_t* t : texts) args.push_back(text(t));
    const HRESULT hr = invoke(target, id, args, result, exception, argError);
    for (VARIANT& v : args) VariantClear(&v);
    return hr;
}

}  // namespace

// Every typed command's text and mode, called late-bound with numeric texts, is followed through
// the console's buttons in ConsoleHandlersTest.
using BrickCommands = ControlTest;

TEST_F(BrickCommands, ConvertNumbersAndNumericTextsAlike) {
    EXPECT_HRESULT_SUCCEEDED(invoke(pilot_.get(), DISPID_RCX_ONN, {i4(-32768)}));
    VARIANT dbl;
    V_VT(&dbl) = VT_R8;
    V_R8(&dbl) = 3.0;
    EXPECT_HRESULT_SUCCEEDED(invoke(pilot_.get(), DISPID_RCX_OFF, {dbl}));
    EXPECT_EQ((std::vector<std::wstring>{L"ExecuteCommand out 2,-32768|2|0",
                                         L"ExecuteCommand out 1,3|2|0"}),
              calls());
}

TEST_F(BrickCommands, RejectBadArgumentsBeforeTheLinkIsCalled) {
    // The argument named is its place in the list, which runs last to first.
    UINT argError = 99;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, callWithTexts(pilot_.get(), DISPID_RCX_SETPOWER, {L"", L"1"},
                                                 nullptr, nullptr, &argError));
    EXPECT_EQ(1u, argError);
    EXPECT_EQ(DISP_E_OVERFLOW, callWithTexts(pilot_.get(), DISPID_RCX_SETPOWER, {L"1", L"-32769"},
                                             nullptr, nullptr, &argError));
    EXPECT_EQ(0u, argError);
    EXPECT_TRUE(calls().empty());
}

TEST_F(BrickCommands, PollAndBatteryReturnTheCode) {
    fakeLink().replies = {code(100000), code(32767), code(-32768), code(32768), code(-32769)};
    VARIANT result{};
    ASSERT_HRESULT_SUCCEEDED(callWithTexts(pilot_.get(), DISPID_RCX_POLL, {L"9", L"1"}, &result));
    EXPECT_EQ(VT_I4, V_VT(&result));
    EXPECT_EQ(100000, V_I4(&result));
    for (short expected : {32767, -32768}) {
        ASSERT_HRESULT_SUCCEEDED(callWithTexts(pilot_.get(), DISPID_RCX_PBATTERY, {}, &result));
        EXPECT_EQ(VT_I2, V_VT(&result));
        EXPECT_EQ(expected, V_I2(&result));
    }
    for (int i = 0; i < 2; ++i) {
        ExcepInfo e;
        VariantClear(&result);
        EXPECT_EQ(DISP_E_EXCEPTION,
                  callWithTexts(pilot_.get(), DISPID_RCX_PBATTERY, {}, &result, &e));
        EXPECT_EQ(CTL_E_OVERFLOW, e.scode);
        EXPECT_STREQ(L"Overflow", e.bstrDescription);
        EXPECT_EQ(VT_EMPTY, V_VT(&result));
    }
}

TEST_F(BrickCommands, LinkFailuresReachTheCallerUnchanged) {
    const HRESULT linkError = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, TOWERLINK_E_NO_BRICK);
    fakeLink().failures[L"ExecuteCommand"] = {linkError, L"The brick does not answer", L"tl.chm"};
    ExcepInfo e;
    EXPECT_EQ(DISP_E_EXCEPTION, callWithTexts(pilot_.get(), DISPID_RCX_ONN, {L"1"}, nullptr, &e));
    EXPECT_EQ(linkError, e.scode);
    EXPECT_STREQ(L"The brick does not answer", e.bstrDescription);
    EXPECT_STREQ(L"tl.chm", e.bstrHelpFile);
    // Early-bound callers read the same error information.
    ComPtr<ISupportErrorInfo> supports;
    ASSERT_HRESULT_SUCCEEDED(pilot_.queryInterface(IID_ISupportErrorInfo, supports));
    EXPECT_EQ(S_OK, supports->InterfaceSupportsErrorInfo(IID__RcxPilot));

    EXPECT_EQ(L"Ok", caption()) << "the face keeps start-up's text";
}

TEST_F(BrickCommands, NeverWriteTheirArgumentsBack) {
    short motors = 5;
    VARIANT inVariant = text(L"3");
    EXPECT_HRESULT_SUCCEEDED(invoke(pilot_.get(), DISPID_RCX_ONN, {byRef(&inVariant)}));
    EXPECT_EQ(VT_BSTR, V_VT(&inVariant)) << "a variable keeps its own type and value";
    EXPECT_STREQ(L"3", V_BSTR(&inVariant));
    VariantClear(&inVariant);
    EXPECT_HRESULT_SUCCEEDED(invoke(pilot_.get(), DISPID_RCX_ONN, {byRef(motors)}));
    EXPECT_EQ(5, motors);
}

using Dispatch = ControlTest;

// A method and its parameters by name, then called by the identifiers the names gave.
TEST_F(Dispatch, ResolvesNamesIgnoringCaseAndReachesMethodsByNamedArguments) {
    const wchar_t* names[] = {L"datalognext", L"NUMBER", L"source"};
    DISPID ids[3] = {};
    ASSERT_HRESULT_SUCCEEDED(
        pilot_->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names), 3, 0, ids));
    EXPECT_EQ(DISPID_RCX_DATALOGNEXT, ids[0]);
    EXPECT_EQ(1, ids[1]);
    EXPECT_EQ(0, ids[2]);
    VARIANT args[2] = {i2(20), i2(9)};  // Number, then Source
    DISPPARAMS params{args, &ids[1], 2, 2};
    EXPECT_HRESULT_SUCCEEDED(
        pilot_->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::vector<std::wstring>{L"ExecuteCommand log 9,20|2|0"}, calls());
    const wchar_t* unknown[] = {L"Launch"};
    EXPECT_EQ(DISP_E_UNKNOWNNAME,
              pilot_->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(unknown), 1, 0, ids));
}

// Unknown members, wrong counts and malformed argument lists, answered before any argument is
// read or the link is called.
TEST_F(Dispatch, RefusesWhatItCannotCallAndPutsAWellFormedPort) {
    VARIANT args[2] = {i2(20), i2(9)};
    DISPID put = DISPID_PROPERTYPUT;
    DISPID one = 1, outside = 2, twice[2] = {0, 0}, negative[2] = {1, -7};
    struct Case {
        DISPID id;
        WORD flags;
        DISPPARAMS params;
        HRESULT expected;
    };
    const Case cases[] = {
        {DISPID_RCX_UPLOADDATALOG + 1, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
        {DISPID_RCX_ONN, DISPATCH_METHOD, {args, nullptr, 2, 0}, DISP_E_BADPARAMCOUNT},
        {DISPID_RCX_EXECUTE, DISPATCH_METHOD, {args, nullptr, 1, 0}, DISP_E_BADPARAMCOUNT},
        {DISPID_RCX_DATALOGNEXT, DISPATCH_METHOD, {nullptr, nullptr, 2, 0}, E_INVALIDARG},
        {DISPID_RCX_DATALOGNEXT, DISPATCH_METHOD, {args, nullptr, 2, 1}, E_INVALIDARG},
        {DISPID_RCX_DATALOGNEXT, DISPATCH_METHOD, {args, &one, 1, 2}, E_INVALIDARG},
        {DISPID_RCX_DATALOGNEXT, DISPATCH_METHOD, {args, &outside, 2, 1}, DISP_E_PARAMNOTFOUND},
        {DISPID_RCX_DATALOGNEXT, DISPATCH_METHOD, {args, twice, 2, 2}, DISP_E_PARAMNOTFOUND},
        {DISPID_RCX_DATALOGNEXT, DISPATCH_METHOD, {args, negative, 2, 2}, DISP_E_PARAMNOTFOUND},
        {DISPID_RCX_PORT, DISPATCH_PROPERTYPUT, {args, nullptr, 1, 0}, DISP_E_PARAMNOTFOUND},
        {DISPID_RCX_PORT, DISPATCH_PROPERTYPUT, {args, &one, 1, 1}, DISP_E_PARAMNOTFOUND},
        {DISPID_RCX_PORT, DISPATCH_PROPERTYPUT, {args, twice, 2, 2}, DISP_E_BADPARAMCOUNT},
        {DISPID_RCX_PORT, DISPATCH_PROPERTYGET, {args, nullptr, 1, 0}, DISP_E_BADPARAMCOUNT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        DISPPARAMS params = c.params;
        EXPECT_EQ(c.expected,
                  pilot_->Invoke(c.id, IID_NULL, 0, c.flags, &params, nullptr, nullptr, nullptr));
    }
    // A well-formed put stores the port without reopening the link.
    VARIANT value = text(L"COM4");
    DISPPARAMS params{&value, &put, 1, 1};
    ASSERT_HRESULT_SUCCEEDED(pilot_->Invoke(DISPID_RCX_PORT, IID_NULL, 0, DISPATCH_PROPERTYPUT,
                                            &params, nullptr, nullptr, nullptr));
    VariantClear(&value);
    Bstr port;
    ASSERT_HRESULT_SUCCEEDED(pilot_->get_Port(port.put()));
    EXPECT_EQ(L"COM4", port.str());
    EXPECT_TRUE(calls().empty());
}

// The call table and the type library agree: every member that the library describes is
// reached (with too many arguments, so that none is called).
TEST_F(Dispatch, ReachesEveryMemberThatItsTypeLibraryDescribes) {
    ComPtr<ITypeInfo> type;
    ASSERT_HRESULT_SUCCEEDED(pilot_->GetTypeInfo(0, 0, type.put()));
    VARIANT args[6] = {};
    int members = 0;
    for (UINT i = 0; i < TypeAttr(type.get())->cFuncs; ++i) {
        const FuncDesc f(type.get(), i);
        ASSERT_TRUE(f);
        if (f->wFuncFlags & FUNCFLAG_FRESTRICTED) continue;  // IDispatch's own
        const WORD flags = f->invkind == INVOKE_FUNC          ? DISPATCH_METHOD
                           : f->invkind == INVOKE_PROPERTYGET ? DISPATCH_PROPERTYGET
                                                              : DISPATCH_PROPERTYPUT;
        DISPPARAMS params{args, nullptr, 6, 0};
        EXPECT_EQ(DISP_E_BADPARAMCOUNT,
                  pilot_->Invoke(f->memid, IID_NULL, 0, flags, &params, nullptr, nullptr, nullptr))
            << std::hex << f->memid;
        ++members;
    }
    EXPECT_EQ(26, members);
    EXPECT_TRUE(calls().empty());
}

TEST(ControlLifetime, CreationFailsWithoutALinkOrItsEvents) {
    KestrelLibrary library;
    ComPtr<_RcxPilot> pilot;
    // No link class registered in this process: the registry has none either.
    EXPECT_TRUE(FAILED(library.create(pilot)));
    EXPECT_FALSE(pilot);
    FakeLinkRegistration registration;
    resetFakeLink();
    fakeLink().refuseAdvise = true;
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, library.create(pilot));
    EXPECT_FALSE(pilot);
    EXPECT_EQ(std::vector<std::wstring>{L"Advise"}, fakeLink().calls) << "no start-up ran";
    EXPECT_EQ(0, fakeLink().liveLinks);
    EXPECT_EQ(S_OK, library.canUnloadNow());
}

// The type information goes with the last control, not when the module unloads, where releasing
// COM objects is not allowed.
TEST(ControlLifetime, UnloadsAndLetsGoOfItsTypeInformationOnlyWhenEverythingIsReleased) {
    FakeLinkRegistration registration;
    resetFakeLink();
    KestrelLibrary library;
    ComPtr<ITypeInfo> info;
    {
        ComPtr<_RcxPilot> pilot = library.create();
        EXPECT_EQ(S_FALSE, library.canUnloadNow());
        ASSERT_HRESULT_SUCCEEDED(pilot->GetTypeInfo(0, 0, info.put()));
        ComPtr<IDispatch> second;
        ASSERT_HRESULT_SUCCEEDED(pilot.queryInterface(IID_IDispatch, second));
        pilot.reset();
        EXPECT_EQ(S_FALSE, library.canUnloadNow()) << "a reference is still out";
    }
    EXPECT_EQ(S_OK, library.canUnloadNow());
    EXPECT_EQ(0, fakeLink().liveLinks);
    EXPECT_EQ(0, fakeLink().connections);
    info->AddRef();
    EXPECT_EQ(1u, info->Release()) << "ours is the only reference left";
}
