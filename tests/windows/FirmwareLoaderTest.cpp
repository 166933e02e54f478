// TowerLink.dll's firmware download (IFirmwareLoader) on the VIRTUAL port: through the vtable
// with progress events, and its failures with their error numbers; script clients, which
// call it late-bound, are tested by the firmware download script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Bstr.h"
#include "TowerLinkLibrary.h"

namespace kestrel::test {
namespace {

// The 640-byte image the towerlink tool's tests download too, with Windows line ends.
const std::wstring kFirmwareFile = L"" FIRMWARE_TEST_FILE;

class FirmwareLoaderTest : public testing::Test {
protected:
    TowerLinkLibrary library_;
};

TEST_F(FirmwareLoaderTest, PutsFirmwareOnABrickWithoutAndReportsProgressInBytes) {
    ComPtr<IBrickLink> link = library_.openVirtual(L"nofirmware");
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    Bstr path(kFirmwareFile);
    ASSERT_EQ(S_OK, loader->DownloadFirmware(path.get()));
    std::vector<std::wstring> progress;
    for (const std::wstring& line : sink.heard) {
        if (line.rfind(L"TransferProgress", 0) == 0) progress.push_back(line);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"TransferProgress 0 640", L"TransferProgress 200 640",
                                         L"TransferProgress 400 640", L"TransferProgress 600 640",
                                         L"TransferProgress 640 640"}),
              progress);
    unadvise(link.get(), cookie);
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get())) << "the firmware runs";
}

TEST_F(FirmwareLoaderTest, FailuresCarryTheirNumbersAndNameWhatFailed) {
    ComPtr<IBrickLink> link = library_.openVirtual(L"silent");
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    const HRESULT badFile = towerLinkError(TOWERLINK_E_BAD_FIRMWARE_FILE);
    const struct {
        std::wstring path;
        HRESULT number;
        const wchar_t* named;  // what the description names
    } cases[] = {{L"C:\\no-such-folder\\firm0328.lgo", badFile, L"no-such-folder"},
                 {library_.errorReference(), badFile, L"line 1: not an S-record"},
                 {kFirmwareFile, towerLinkError(TOWERLINK_E_FIRMWARE_DOWNLOAD),
                  L"Nothing was changed on the brick"}};
    for (const auto& c : cases) {
        Bstr path(c.path);
        const HRESULT returned = loader->DownloadFirmware(path.get());
        EXPECT_NE(std::wstring::npos, library_.expectFailure(returned, c.number).find(c.named));
    }
}

}  // namespace
}  // namespace kestrel::test
