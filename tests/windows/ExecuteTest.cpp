// Execute: the caller's command text handed through, the result and byte reply on the face.
#include "ControlFixture.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

class Execute : public ControlTest {
protected:
    // Text, flag and a result variable, the two trailing arguments left out. The console's tests
    // pass the flag by reference, as the console does.
    HRESULT send(const wchar_t* command, bool lasm, long& result) {
        VARIANT source = text(command);
        const HRESULT hr =
            invoke(pilot_.get(), DISPID_RCX_EXECUTE, {source, i2(lasm ? -1 : 0), byRef(result)});
        VariantClear(&source);
        return hr;
    }
};

}  // namespace

// Lasm mode shows with the position and reply below.
TEST_F(Execute, ChoosesTheStatementModeAndShowsTheResult) {
    fakeLink().replies = {code(-1)};
    long result = 7;
    ASSERT_EQ(S_OK, send(L"sound 3", false, result));
    EXPECT_EQ(-1, result);
    EXPECT_EQ(L"Result: -1", caption());
    EXPECT_EQ(std::vector<std::wstring>{L"ExecuteCommand sound 3|0|0"}, calls());
}

// Byte replies of two or more elements are listed, by their own indexes while these fit in 16
// bits; anything else shows the result alone.
TEST_F(Execute, ListsByteRepliesOfTwoOrMoreElements) {
    const std::wstring plain = L"Result:  1", overflow = L"Error 800A0006 Overflow";
    const std::pair<std::function<void(VARIANT*)>, std::wstring> cases[] = {
        {bytes(0, {16, 5}), L"Result:  1, variant result:  16  5 "},
        {bytes(1, {1, 2, 255}), L"Result:  1, variant result:  1  2  255 "},
        {bytes(-32768, {4, 5}), L"Result:  1, variant result:  4  5 "},
        {bytes(32766, {1, 2}), overflow},  // the step after 32767 overflows
        {bytes(40000, {1, 2}), overflow},
        {bytes(40000, {9}), plain},  // one element: its index is never counted in 16 bits
        {byteMatrix(), plain},
        {shortsTypedAs(VT_UI1), plain},
        {copyOf(text(L"16 5")), plain},
    };
    for (const auto& [fill, shown] : cases) {
        fakeLink().replies = {code(1, fill)};
        long result = 0;
        ASSERT_EQ(S_OK, send(L"pollb", true, result));
        EXPECT_EQ(shown, caption());
    }
    EXPECT_EQ(2u, boxes_.boxes().size()) << "one for each overflow";
}

// The position goes in, and comes back as the link leaves it; the result and the reply come back.
// A failure keeps the caller's result, yet the reply was emptied before the call.
TEST_F(Execute, HandsPositionResultAndReplyBothWaysAndShowsALinkFailure) {
    FakeReply failing;
    failing.failure =
        FakeFailure{MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, TOWERLINK_E_COMMAND_TEXT),
                    L"unknown command 'outt'", L""};
    failing.position = 1;
    fakeLink().replies = {code(3, bytes(0, {7, 8})), failing};
    VARIANT source = text(L"poll 9,1"), result = i4(0), position = i4(5), reply = text(L"stale");
    const auto execute = [&] {
        return invoke(pilot_.get(), DISPID_RCX_EXECUTE,
                      {source, i2(-1), byRef(&result), byRef(&position), byRef(&reply)});
    };
    EXPECT_EQ(S_OK, execute());
    EXPECT_EQ(L"ExecuteCommand poll 9,1|2|5", calls().back());
    EXPECT_EQ(3, V_I4(&result));
    EXPECT_EQ((VT_ARRAY | VT_UI1), V_VT(&reply));
    EXPECT_EQ(S_OK, execute());
    EXPECT_EQ(3, V_I4(&result)) << "kept after the failure";
    EXPECT_EQ(1, V_I4(&position)) << "the position is the link's to set";
    EXPECT_EQ(VT_EMPTY, V_VT(&reply)) << "emptied before the call";
    EXPECT_EQ(L"Error 80040209 unknown command 'outt'", caption());
    ASSERT_EQ(1u, boxes_.boxes().size());
    clear({&reply, &source});
}

TEST_F(Execute, OutlivesAReplyVariantHoldingItsLastReference) {
    fakeLink().replies = {code(1, bytes(0, {7, 8}))};
    IDispatch* control = pilot_.release();
    VARIANT held, source = text(L"ping");
    V_VT(&held) = VT_DISPATCH;
    V_DISPATCH(&held) = control;
    EXPECT_EQ(S_OK,
              invoke(control, DISPID_RCX_EXECUTE, {source, i2(-1), i4(0), i4(0), byRef(&held)}));
    EXPECT_EQ((VT_ARRAY | VT_UI1), V_VT(&held));
    // The fixture's end finds the link closed: the control went when its call ended.
    clear({&held, &source});
}
