// Execute: the caller's command text handed through, the result and byte reply on the face.
#include "ControlFixture.h"
#include "SafeArray.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

FakeReply reply(long result, std::function<void(VARIANT*)> fill) {
    FakeReply r = code(result);
    r.fill = std::move(fill);
    return r;
}

class Execute : public ControlTest {
protected:
    // Send as the console does: text, flag by reference, a result variable by reference.
    HRESULT send(const wchar_t* command, bool lasm, long& result) {
        VARIANT_BOOL flag = lasm ? VARIANT_TRUE : VARIANT_FALSE;
        VARIANT flagRef, resultRef;
        V_VT(&flagRef) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&flagRef) = &flag;
        V_VT(&resultRef) = VT_I4 | VT_BYREF;
        V_I4REF(&resultRef) = &result;
        VARIANT source = text(command);
        const HRESULT hr = invoke(pilot_.get(), 0x60030000, {source, flagRef, resultRef});
        VariantClear(&source);
        return hr;
    }
};

}  // namespace

TEST_F(Execute, ChoosesTheModeAndShowsTheResult) {
    fakeLink().replies = {code(0), code(-1)};
    long result = 7;
    ASSERT_EQ(S_OK, send(L"ping", true, result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(L"Result:  0", caption());
    ASSERT_EQ(S_OK, send(L"sound 3", false, result));
    EXPECT_EQ(-1, result);
    EXPECT_EQ(L"Result: -1", caption());
    EXPECT_EQ(
        (std::vector<std::wstring>{L"ExecuteCommand ping|2|0", L"ExecuteCommand sound 3|0|0"}),
        calls());
}

TEST_F(Execute, ListsByteRepliesOfTwoOrMoreElements) {
    struct Case {
        std::function<void(VARIANT*)> fill;
        std::wstring caption;
    };
    const std::vector<Case> cases = {
        {bytes(0, {16, 5}), L"Result:  1, variant result:  16  5 "},
        {bytes(1, {1, 2, 255}), L"Result:  1, variant result:  1  2  255 "},
        {bytes(0, {9}), L"Result:  1"},
        {bytes(0, {}), L"Result:  1"},
        {bytes(40000, {9}), L"Result:  1"},
        {bytes(-40000, {}), L"Result:  1"},
        {byteMatrix(), L"Result:  1"},
        {wideElementsAsBytes(), L"Result:  1"},
        {[](VARIANT* v) {
             V_VT(v) = VT_I4;
             V_I4(v) = 5;
         },
         L"Result:  1"},
        {[](VARIANT* v) {
             V_VT(v) = VT_BSTR;
             V_BSTR(v) = SysAllocString(L"16 5");
         },
         L"Result:  1"},
        {[](VARIANT* v) {
             SafeArray a = SafeArray::vector(VT_I2, 0, 3);
             V_VT(v) = VT_ARRAY | VT_I2;
             V_ARRAY(v) = a.release();
         },
         L"Result:  1"},
    };
    for (const Case& c : cases) {
        fakeLink().replies = {reply(1, c.fill)};
        long result = 0;
        ASSERT_EQ(S_OK, send(L"pollb", true, result));
        EXPECT_EQ(c.caption, caption());
    }
}

TEST_F(Execute, OverflowsWithIndexesBeyondSixteenBits) {
    fakeLink().replies = {reply(1, bytes(32766, {1, 2})), reply(1, bytes(40000, {1, 2})),
                          reply(1, bytes(-32768, {4, 5}))};
    long result = 0;
    ASSERT_EQ(S_OK, send(L"x", true, result));
    EXPECT_EQ(L"Error 800A0006 Overflow", caption()) << "the step after 32767 overflows";
    ASSERT_EQ(S_OK, send(L"x", true, result));
    EXPECT_EQ(L"Error 800A0006 Overflow", caption());
    ASSERT_EQ(S_OK, send(L"x", true, result));
    EXPECT_EQ(L"Result:  1, variant result:  4  5 ", caption());
    EXPECT_EQ(2u, boxes_.boxes().size());
}

TEST_F(Execute, ShowsALinkFailureAndKeepsTheResult) {
    FakeReply failing;
    failing.failure = FakeFailure{static_cast<HRESULT>(0x80040205), L"unknown command 'outt'", L""};
    failing.position = 1;
    fakeLink().replies = {failing};
    long result = 42;
    long position = 0;
    VARIANT reply = text(L"stale");
    VARIANT source = text(L"outt 2,1"), flag, resultRef, positionRef, replyRef;
    V_VT(&flag) = VT_BOOL;
    V_BOOL(&flag) = VARIANT_TRUE;
    V_VT(&resultRef) = VT_I4 | VT_BYREF;
    V_I4REF(&resultRef) = &result;
    V_VT(&positionRef) = VT_I4 | VT_BYREF;
    V_I4REF(&positionRef) = &position;
    replyRef = byRef(&reply);
    EXPECT_EQ(S_OK,
              invoke(pilot_.get(), 0x60030000, {source, flag, resultRef, positionRef, replyRef}));
    EXPECT_EQ(42, result);
    EXPECT_EQ(1, position) << "the position is the link's to set";
    EXPECT_EQ(VT_EMPTY, V_VT(&reply)) << "emptied before the call";
    EXPECT_EQ(L"Error 80040205 unknown command 'outt'", caption());
    ASSERT_EQ(1u, boxes_.boxes().size());
    VariantClear(&source);
}

TEST_F(Execute, HandsTheReplyAndPositionToTheCaller) {
    fakeLink().replies = {reply(3, bytes(0, {7, 8}))};
    VARIANT source = text(L"poll 9,1"), flag = i2(-1), result = i4(0), position = i4(5);
    VARIANT replyValue;
    VariantInit(&replyValue);
    VARIANT args[] = {byRef(&result), byRef(&position), byRef(&replyValue)};
    EXPECT_EQ(S_OK, invoke(pilot_.get(), 0x60030000, {source, flag, args[0], args[1], args[2]}));
    EXPECT_EQ(L"ExecuteCommand poll 9,1|2|5", calls().back());
    EXPECT_EQ(3, V_I4(&result));
    EXPECT_EQ((VT_ARRAY | VT_UI1), V_VT(&replyValue));
    VariantClear(&replyValue);
    VariantClear(&source);
}

TEST_F(Execute, OutlivesAReplyVariantHoldingItsLastReference) {
    fakeLink().replies = {reply(1, bytes(0, {7, 8}))};
    IDispatch* control = pilot_.release();
    VARIANT held;
    V_VT(&held) = VT_DISPATCH;
    V_DISPATCH(&held) = control;
    VARIANT source = text(L"ping"), flag = i2(-1), result = i4(0), position = i4(0);
    EXPECT_EQ(S_OK, invoke(control, 0x60030000, {source, flag, result, position, byRef(&held)}));
    EXPECT_EQ((VT_ARRAY | VT_UI1), V_VT(&held));
    EXPECT_EQ(0, fakeLink().liveLinks) << "the control went when its call ended";
    VariantClear(&held);
    VariantClear(&source);
}
