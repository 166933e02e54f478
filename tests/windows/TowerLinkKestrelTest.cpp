// Kestrel's RcxPilot on TowerLink's VIRTUAL port: the whole road from the control's methods
// through the brick link to the virtual brick, as a container would drive it.
#include <gtest/gtest.h>
#include <oleidl.h>

#include <vector>

#include "ComError.h"
#include "KestrelLibrary.h"
#include "MessageBoxHook.h"
#include "TowerLinkLibrary.h"
#include "Variant.h"

namespace kestrel::test {
namespace {

std::wstring faceCaption(_RcxPilot* pilot) {
    ComPtr<IOleWindow> face;
    if (FAILED(pilot->QueryInterface(IID_IOleWindow, face.putVoid()))) return L"<no face>";
    HWND window = nullptr;
    if (FAILED(face->GetWindow(&window))) return L"<no window>";
    return windowText(FindWindowExW(window, nullptr, L"Static", nullptr));
}

// A table element of UploadDatalog: the byte it holds, or -1 when it is empty.
int tableByte(SAFEARRAY* table, long column, long entry) {
    LONG at[2] = {column, entry};
    Variant element;
    if (FAILED(SafeArrayGetElement(table, at, element.get()))) return -2;
    return element.type() == VT_UI1 ? V_UI1(element.get()) : -1;
}

class TowerLinkUnderKestrel : public testing::Test {
protected:
    // Fills the brick's datalog with `entries` values of variable 2 (7i + 1), through the control.
    std::vector<BYTE> fillDatalog(_RcxPilot* pilot, short entries) {
        std::vector<BYTE> log{0xFF, static_cast<BYTE>((entries + 1) & 0xFF),
                              static_cast<BYTE>((entries + 1) >> 8)};
        EXPECT_EQ(S_OK, pilot->SetDatalog(&entries));
        for (short i = 0; i < entries; ++i) {
            short var = 2, source = 2, value = static_cast<short>(7 * i + 1), loggedSource = 0;
            EXPECT_EQ(S_OK, pilot->SetVar(&var, &source, &value));
            EXPECT_EQ(S_OK, pilot->DatalogNext(&loggedSource, &var));
            log.insert(log.end(),
                       {2, static_cast<BYTE>(value & 0xFF), static_cast<BYTE>(value >> 8)});
        }
        return log;
    }

    // Uploads with `from` and `size` and compares every table element with the log's bytes.
    void expectUpload(_RcxPilot* pilot, const std::vector<BYTE>& log, short from, short size) {
        SCOPED_TRACE("From " + std::to_string(from) + ", Size " + std::to_string(size));
        short count = size;
        Variant table;
        ASSERT_EQ(S_OK, pilot->UploadDatalog(&from, &count, table.get()));
        const long logged = static_cast<long>(log.size()) / 3 - 1;
        if (size == 0) {
            EXPECT_EQ(logged, count) << "the worked-out count";
        }
        ASSERT_EQ(VT_ARRAY | VT_VARIANT, table.type());
        SAFEARRAY* entries = V_ARRAY(table.get());
        LONG upper = 0;
        SafeArrayGetUBound(entries, 2, &upper);
        EXPECT_EQ(count + 1, upper);
        const long first = 3 + from;
        const long available =
            std::max(0L, std::min<long>(count * 3, static_cast<long>(log.size()) - first));
        for (long i = 0; i < count * 3; ++i) {
            const int expected = i < available ? log[static_cast<std::size_t>(first + i)] : -1;
            EXPECT_EQ(expected, tableByte(entries, i % 3, i / 3 + 1)) << "byte " << i;
        }
        EXPECT_EQ(-1, tableByte(entries, 0, 0)) << "entry 0 stays empty";
    }

    ScopedEnvironment port_{L"TOWERLINK_PORT", L"VIRTUAL"};
    TowerLinkLibrary towerLink_;
    TowerLinkClassRegistration registration_{towerLink_};
    KestrelLibrary kestrel_;
    MessageBoxHook boxes_;
};

// What the control then drives on the brick, the scripts on the virtual brick check call by call.
TEST_F(TowerLinkUnderKestrel, StartsUpOkAndLetsTheLibrariesGo) {
    ComPtr<_RcxPilot> pilot = kestrel_.create();
    EXPECT_EQ(L"Ok", faceCaption(pilot.get()));
    VARIANT_BOOL alive = VARIANT_FALSE;
    EXPECT_EQ(S_OK, pilot->PBAliveOrNot(&alive));
    EXPECT_EQ(VARIANT_TRUE, alive);
    EXPECT_TRUE(boxes_.boxes().empty());
    pilot.reset();
    EXPECT_EQ(S_OK, kestrel_.canUnloadNow());
}

TEST_F(TowerLinkUnderKestrel, StartsUpNotReadyWithTheBrickOff) {
    ScopedEnvironment faults(L"TOWERLINK_VIRTUAL_FAULTS", L"silent");
    ComPtr<_RcxPilot> pilot = kestrel_.create();
    EXPECT_EQ(L"Not ready", faceCaption(pilot.get()));
    VARIANT_BOOL alive = VARIANT_TRUE;
    EXPECT_EQ(S_OK, pilot->PBAliveOrNot(&alive));
    EXPECT_EQ(VARIANT_FALSE, alive);
    short motors = 1;
    EXPECT_EQ(towerLinkError(TOWERLINK_E_NO_BRICK), pilot->Onn(&motors));
    const ErrorDetails error = takeErrorInfo(E_FAIL);
    EXPECT_EQ(
        L"The brick does not answer: check that it is on and within reach of the tower. "
        L"The brick may have carried out the command: only its reply was lost",
        error.description);
    EXPECT_NE(std::wstring::npos, error.helpFile.find(L"TowerLink-errors.html"));
    EXPECT_TRUE(boxes_.boxes().empty()) << "every error names its help file";
}

TEST_F(TowerLinkUnderKestrel, UploadDatalogReadsWhatWasLogged) {
    ComPtr<_RcxPilot> pilot = kestrel_.create();
    for (short entries : {0, 1, 9, 100}) {
        const std::vector<BYTE> log = fillDatalog(pilot.get(), entries);
        expectUpload(pilot.get(), log, 0, 0);
        if (entries >= 9) {
            expectUpload(pilot.get(), log, 1, 0);
            expectUpload(pilot.get(), log, 3, 0);
            expectUpload(pilot.get(), log, 1, 4);
            expectUpload(pilot.get(), log, 3, entries);
        }
    }
}

}  // namespace
}  // namespace kestrel::test
