// UploadDatalog: positions, counts and the table it builds from the link's bytes.
#include <olectl.h>

#include "ControlFixture.h"
#include "Variant.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// Visual Basic's run-time errors 9 and 13, as callers know them.
const HRESULT kSubscript = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 9);
const HRESULT kTypeMismatch = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 13);

class Upload : public ControlTest {
protected:
    HRESULT upload(short from, short& size, Variant& table, EXCEPINFO* e = nullptr) {
        return invoke(pilot_.get(), DISPID_RCX_UPLOADDATALOG, {i2(from), byRef(size)}, table.put(),
                      e);
    }
    // An upload that must fail: its error number, and its description when asked for. It
    // returns no table.
    HRESULT failure(short from, short& size, std::wstring* description = nullptr) {
        Variant table;
        ExcepInfo e;
        EXPECT_EQ(DISP_E_EXCEPTION, upload(from, size, table, &e));
        EXPECT_EQ(VT_EMPTY, table.type());
        if (description) *description = e.bstrDescription ? e.bstrDescription : L"";
        return e.scode;
    }
};

using Rows = std::vector<std::vector<int>>;
const std::vector<int> kEmpty{-1, -1, -1};

}  // namespace

TEST_F(Upload, WorksOutTheCountFromTheExtent) {
    struct Case {
        long start, end;
        short size;
        std::wstring read;
    };
    const std::vector<Case> cases = {
        {100, 130, 9, L"ReadDatalog 103,27"}, {100, 100, -1, L"ReadDatalog 103,-3"},
        {100, 103, 0, L"ReadDatalog 103,0"},  {0, 31, 9, L"ReadDatalog 3,27"},
        {0, 32, 10, L"ReadDatalog 3,30"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end - c.start);
        fakeLink().datalogStart = c.start;
        fakeLink().datalogEnd = c.end;
        calls().clear();
        short size = 0;
        Variant table;
        ASSERT_HRESULT_SUCCEEDED(upload(0, size, table));
        EXPECT_EQ(c.size, size);
        EXPECT_EQ((std::vector<std::wstring>{L"QueryDatalog", c.read}), calls());
        EXPECT_EQ(Rows(c.size + 2, kEmpty), datalogEntries(table.get()));
    }
}

TEST_F(Upload, PlacesBytesByTheirIndex) {
    fakeLink().datalogEnd = 30;
    fakeLink().datalog = bytes(0, {1, 10, 0, 1, 20, 0});
    short size = 2;
    Variant table;
    ASSERT_HRESULT_SUCCEEDED(upload(0, size, table));
    EXPECT_EQ(2, size) << "a size given is not written";
    EXPECT_EQ(L"ReadDatalog 3,6", calls().back());
    EXPECT_EQ((Rows{kEmpty, {1, 10, 0}, {1, 20, 0}, kEmpty}), datalogEntries(table.get()));

    // From moves the read in bytes; the mapping follows the reply's own indexes.
    fakeLink().datalog = bytes(1, {7, 8, 9});
    ASSERT_HRESULT_SUCCEEDED(upload(1, size, table));
    EXPECT_EQ(L"ReadDatalog 4,6", calls().back());
    EXPECT_EQ((Rows{kEmpty, {-1, 7, 8}, {9, -1, -1}, kEmpty}), datalogEntries(table.get()));
}

TEST_F(Upload, StoresNothingForOtherReplies) {
    fakeLink().datalogEnd = 30;
    for (auto fill : {bytes(0, {5}), copyOf(i4(3)), std::function<void(VARIANT*)>()}) {
        fakeLink().datalog = fill;
        short size = 2;
        Variant table;
        ASSERT_HRESULT_SUCCEEDED(upload(0, size, table));
        EXPECT_EQ(Rows(4, kEmpty), datalogEntries(table.get()));
    }
}

TEST_F(Upload, FailsOnOverflowBeforeReadingOrBuilding) {
    // Sizes whose table cannot be counted in 16 bits, and a first position that steps past the
    // size entry in 32 bits before adding From.
    struct Case {
        long start;
        short from, size;
    };
    for (Case c : {Case{0, 0, 10923}, {0, 0, 32767}, {INT32_MAX - 1, -5, 1}}) {
        SCOPED_TRACE(testing::Message() << c.start << "," << c.from << "," << c.size);
        fakeLink().datalogStart = c.start;
        calls().clear();
        EXPECT_EQ(CTL_E_OVERFLOW, failure(c.from, c.size));
        EXPECT_EQ(std::vector<std::wstring>{L"QueryDatalog"}, calls());
    }
    fakeLink().datalogStart = 0;
    // A count worked out too large still reaches the caller's variable... only when it fits.
    fakeLink().datalogEnd = 3 * 40000;
    short size = 0;
    EXPECT_EQ(CTL_E_OVERFLOW, failure(0, size));
    EXPECT_EQ(0, size);
}

TEST_F(Upload, FailsClearlyWhereNoTableCanBeFormed) {
    short size = -2;
    std::wstring description;
    EXPECT_EQ(kSubscript, failure(0, size, &description));
    EXPECT_EQ(L"Subscript out of range", description);

    // A reply longer than the table, after the count was worked out: the count stays.
    fakeLink().datalogEnd = 9;
    fakeLink().datalog = bytes(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    size = 0;
    EXPECT_EQ(kSubscript, failure(0, size));
    EXPECT_EQ(2, size);
}

TEST_F(Upload, RefusesArraysThatAreNotByteVectorsAndChangesNothing) {
    fakeLink().datalogEnd = 9;
    for (auto fill : {byteMatrix(), shortsTypedAs(VT_UI1)}) {
        fakeLink().datalog = fill;
        short size = 0;
        EXPECT_EQ(kTypeMismatch, failure(0, size));
        EXPECT_EQ(0, size) << "the count worked out is not written";
    }
}

TEST_F(Upload, OutlivesTheLossOfItsLastReferenceDuringTheCall) {
    fakeLink().datalogEnd = 9;
    short size = 0;
    // Held only by the result variant, which the call overwrites.
    IDispatch* control = pilot_.release();
    Variant table;
    V_VT(table.get()) = VT_DISPATCH;
    V_DISPATCH(table.get()) = control;
    EXPECT_EQ(S_OK, invoke(control, DISPID_RCX_UPLOADDATALOG, {i2(0), byRef(size)}, table.get()));
    EXPECT_EQ((VT_ARRAY | VT_VARIANT), table.type());
    // The fixture's end finds the link closed: the control went when its call ended.
}
