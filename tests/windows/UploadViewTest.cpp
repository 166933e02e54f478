// The upload view on tables the control never returns: no array, other bounds and shapes,
// other element types.
#include "ComError.h"
#include "ConsoleFixture.h"
#include "SafeArray.h"
#include "UploadView.h"
#include "Variant.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

class UploadView : public testing::Test {
protected:
    void SetUp() override {
        owner_ = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
        list_ = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD, 0, 0, 100, 100, owner_, nullptr,
                                nullptr, nullptr);
        ASSERT_NE(nullptr, list_);
    }
    void TearDown() override { DestroyWindow(owner_); }

    std::vector<std::wstring> lines() const { return listBoxLines(list_); }

    // A table of `entries` entries from `lower`, each of `fields` elements from 0: variants,
    // unless said otherwise.
    static Variant table(LONG lower, ULONG entries, ULONG fields = 3,
                         VARTYPE element = VT_VARIANT) {
        SAFEARRAYBOUND bounds[2] = {{fields, 0}, {entries, lower}};
        Variant value;
        V_VT(value.get()) = VT_ARRAY | element;
        V_ARRAY(value.get()) = SafeArrayCreate(element, 2, bounds);
        return value;
    }
    static void put(Variant& t, LONG field, LONG entry, VARIANT element) {
        LONG at[2] = {field, entry};
        EXPECT_HRESULT_SUCCEEDED(SafeArrayPutElement(V_ARRAY(t.get()), at, &element));
    }

    HWND owner_ = nullptr;
    HWND list_ = nullptr;
    MessageBoxHook boxes_;
};

}  // namespace

// Any value without the array flag, empty or a number, takes the same way.
TEST_F(UploadView, AValueThatIsNoArrayGetsTheBoxAndNoLine) {
    console::showDatalog(list_, owner_, VARIANT{});
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ(L"Upload not a valid array", boxes_.boxes()[0].text);
    EXPECT_EQ(L"TestProgram", boxes_.boxes()[0].title);
    EXPECT_EQ(owner_, boxes_.boxes()[0].owner);
    EXPECT_TRUE(lines().empty());
}

TEST_F(UploadView, ListsThePositionsBetweenTheFirstAndTheLastWhateverTheLowerBound) {
    Variant t = table(3, 5);  // entries 3..7: lines for 4, 5 and 6
    for (LONG entry = 3; entry <= 7; ++entry)
        for (LONG field = 0; field < 3; ++field) put(t, field, entry, i4(entry * 10 + field));
    put(t, 1, 5, i2(-4));
    put(t, 2, 6, VARIANT{});
    console::showDatalog(list_, owner_, *t.get());
    EXPECT_EQ((std::vector<std::wstring>{L"Type:  40 LoByt:  41 HiByt:  42",
                                         L"Type:  50 LoByt: -4 HiByt:  52",
                                         L"Type:  60 LoByt:  61 HiByt:  0"}),
              lines());
}

TEST_F(UploadView, TwoPositionsOrFewerListNothingAndSayNothing) {
    for (ULONG entries : {0u, 1u, 2u}) {
        Variant t = table(0, entries);
        console::showDatalog(list_, owner_, *t.get());
    }
    EXPECT_TRUE(lines().empty());
}

TEST_F(UploadView, ATableOfTheWrongShapeFailsBeforeAnyLine) {
    const HRESULT outOfRange = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 9);
    Variant twoFields = table(0, 4, 2);
    Variant vector;
    V_VT(vector.get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(vector.get()) = SafeArray::vector(VT_VARIANT, 0, 9).release();
    for (Variant* value : {&twoFields, &vector}) {
        try {
            console::showDatalog(list_, owner_, *value->get());
            ADD_FAILURE() << "no failure";
        } catch (const ComError& e) {
            EXPECT_EQ(outOfRange, e.number());
        }
    }
    EXPECT_TRUE(lines().empty());
}

TEST_F(UploadView, ReadsTablesOfPlainNumbersAndRejectsText) {
    Variant bytes = table(0, 3, 3, VT_UI1);
    BYTE value = 255;
    LONG at[2] = {2, 1};
    ASSERT_HRESULT_SUCCEEDED(SafeArrayPutElement(V_ARRAY(bytes.get()), at, &value));
    console::showDatalog(list_, owner_, *bytes.get());
    EXPECT_EQ(std::vector<std::wstring>{L"Type:  0 LoByt:  0 HiByt:  255"}, lines());

    Variant t = table(0, 3);
    VARIANT word = text(L"abc");
    put(t, 0, 1, word);
    clear({&word});
    EXPECT_THROW(console::showDatalog(list_, owner_, *t.get()), ComError);
}
