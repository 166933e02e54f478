// TowerLink.dll's program download (IProgramLoader) on the VIRTUAL port: what it refuses before
// the port is even opened, each with its number; a download with its progress, during which the
// link is busy; and a brick that does not answer. The numbers' sections of the error reference
// are checked with all the others in the TowerLink tests.
// Script clients reach the same method late-bound in the program download script.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Bstr.h"
#include "TowerLinkLibrary.h"
#include "UniqueHandle.h"
#include "Variant.h"

namespace kestrel::test {
namespace {

// NQC's image of a task that runs motor A until the touch sensor on input 1 is pressed: the
// header (one chunk, one symbol, target RCX 2.0), task 0 with its 24 bytes of code, and the
// symbol "main".
const std::vector<std::uint8_t> kImage = {
    0x52, 0x43, 0x58, 0x49, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x03, 0x00,  // header
    0x00, 0x00, 0x18, 0x00,                                                  // task 0, 24 bytes
    0x13, 0x07, 0x02, 0x07, 0xE1, 0x87, 0x32, 0x00, 0x01, 0x42, 0x00, 0x20,  // code
    0x21, 0x81, 0x95, 0x82, 0x09, 0x01, 0x00, 0x00, 0xFA, 0xFF, 0x21, 0x41,  //
    0x00, 0x00, 0x05, 0x00, 0x6D, 0x61, 0x69, 0x6E, 0x00};                   // symbol "main"

// The numeric answer of a LASM command, which must succeed.
long command(IBrickLink* link, const wchar_t* text) {
    Bstr command(text);
    long mode = TOWERLINK_MODE_LASM, position = 0, result = static_cast<long>(0xdeadbeef);
    Variant reply;
    EXPECT_EQ(S_OK, link->ExecuteCommand(command.inOut(), &mode, &position, reply.get(), &result))
        << command.str();
    return result;
}

class ProgramLoaderTest : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(folder_); }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    // Writes `bytes` into a file of the test's folder; returns its path.
    std::wstring file(const wchar_t* name, const std::vector<std::uint8_t>& bytes) const {
        const std::filesystem::path path = folder_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.wstring();
    }

    static ComPtr<IProgramLoader> loaderOf(const ComPtr<IBrickLink>& link) {
        ComPtr<IProgramLoader> loader;
        EXPECT_EQ(S_OK, link.queryInterface(IID_IProgramLoader, loader));
        return loader;
    }

    TowerLinkLibrary library_;
    const std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() /
        (L"towerlink-programs-" + std::to_wstring(GetCurrentProcessId()));
};

TEST_F(ProgramLoaderTest, RefusesABadSlotOrFileBeforeOpeningThePort) {
    const std::wstring good = file(L"good.rcx", kImage);
    const std::wstring locked = file(L"locked.rcx", kImage);
    const Win32Handle lock(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
    const struct {
        long slot;
        std::wstring path;
        TowerLinkErrorCode error;
        const wchar_t* described;
    } cases[] = {
        {-1, good, TOWERLINK_E_BAD_PROGRAM_SLOT, L"no program slot -1: use 1 to 5"},
        {6, good, TOWERLINK_E_BAD_PROGRAM_SLOT, L"no program slot 6"},
        {1, L"", TOWERLINK_E_BAD_PROGRAM_FILE, L"No program file given"},
        {1, good + L'\0' + L".missing", TOWERLINK_E_BAD_PROGRAM_FILE,
         L"goes on after a NUL character"},
        {1, (folder_ / L"missing.rcx").wstring(), TOWERLINK_E_BAD_PROGRAM_FILE,
         L"There is no program file"},
        {1, L"C:\\no-such-folder\\prog.rcx", TOWERLINK_E_BAD_PROGRAM_FILE, L"no-such-folder"},
        {1, locked, TOWERLINK_E_BAD_PROGRAM_FILE, L"Cannot open the program file"},
        {0, folder_.wstring(), TOWERLINK_E_BAD_PROGRAM_FILE, L"Cannot open the program file"},
        {1, file(L"large.rcx", std::vector<std::uint8_t>(64 * 1024 + 1)),
         TOWERLINK_E_BAD_PROGRAM_FILE, L"holds 65537 bytes"},
        // Each way an image is refused is the image reader's own tests' business.
        {5, file(L"text.rcx", {'t', 'a', 's', 'k', ' ', 'm', 'a', 'i', 'n', '(', ')', '{', '}'}),
         TOWERLINK_E_BAD_PROGRAM_FILE, L"is not a program the brick can take (byte 0"},
    };
    // Not opened: a refusal must not open the configured port to download over it.
    ComPtr<IBrickLink> link = library_.create();
    ComPtr<IProgramLoader> loader = loaderOf(link);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.slot << " " << c.path);
        Bstr path(c.path);
        library_.expectFailure(loader->DownloadProgram(path.get(), c.slot), towerLinkError(c.error),
                               c.described);
    }
    EXPECT_EQ(TOWERLINK_STATUS_NOT_OPENED, status(link.get())) << "nothing was sent";
}

TEST_F(ProgramLoaderTest, DownloadsIntoTheSlotWithProgressAndTheLinkIsBusyMeanwhile) {
    // A path ends at its first NUL, as some script hosts pass it.
    const Bstr path(file(L"good.rcx", kImage) + L'\0');
    ComPtr<IBrickLink> link = library_.openVirtual();
    ASSERT_EQ(0, command(link.get(), L"logz 2040")) << "the datalog fits beside no program";
    ASSERT_EQ(0, command(link.get(), L"logz 0")) << "and gives the room back";
    ComPtr<IProgramLoader> loader = loaderOf(link);
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    std::vector<long> statuses;
    sink.onProgress = [&] {
        long during = -1;
        link->GetInfo(TOWERLINK_INFO_STATUS, &during);
        statuses.push_back(during);
        const Bstr port(L"VIRTUAL");
        auto busy = [&](HRESULT hr) {
            library_.expectFailure(hr, towerLinkError(TOWERLINK_E_BUSY),
                                   L"busy downloading a program");
        };
        // Closing is refused as during a datalog read.
        busy(link->OpenPort(port.get()));
        busy(loader->DownloadProgram(path.get(), 1));
    };
    ASSERT_EQ(S_OK, loader->DownloadProgram(path.get(), 3));
    unadvise(link.get(), cookie);
    // 24 bytes of code in blocks of 20.
    EXPECT_EQ((std::vector<std::wstring>{L"TransferProgress 0 24", L"TransferProgress 20 24",
                                         L"TransferProgress 24 24"}),
              sink.heard);
    EXPECT_EQ(std::vector<long>(3, TOWERLINK_STATUS_TRANSFERRING), statuses);

    // The brick has program slot 3 selected (its source 8 counts from 0), and the 24 bytes of
    // code take their room in the 6144 bytes the datalog shares: a datalog of 2040 entries
    // (3 bytes each, and the size entry) fitted before and no longer does.
    EXPECT_EQ(2, command(link.get(), L"poll 8,0"));
    EXPECT_EQ(1, command(link.get(), L"logz 2040"));
    EXPECT_EQ(0, command(link.get(), L"logz 2039"));
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get()));
}

TEST_F(ProgramLoaderTest, ABrickThatDoesNotAnswerLeavesTheSlotAsItWas) {
    const Bstr path(file(L"good.rcx", kImage));
    ComPtr<IBrickLink> link = library_.openVirtual(L"silent");
    library_.expectFailure(loaderOf(link)->DownloadProgram(path.get(), 0),
                           towerLinkError(TOWERLINK_E_PROGRAM_DOWNLOAD),
                           L"Nothing was changed on the brick");
    EXPECT_EQ(TOWERLINK_STATUS_NO_BRICK, status(link.get()));
}

}  // namespace
}  // namespace kestrel::test
