// TowerLink.dll's firmware download (IFirmwareLoader) on the VIRTUAL port: through the vtable
// with progress events, and its failures with their error numbers; script clients, which
// call it late-bound, are tested by the firmware download script.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Bstr.h"
#include "TowerLinkLibrary.h"
#include "Variant.h"

namespace kestrel::test {
namespace {

// A firmware image of `size` bytes at 0x8000 as S1 records of 16 bytes, written to the
// temporary folder and removed when it goes; `damaged` puts a bad hex digit on line 2.
class FirmwareFile {
public:
    FirmwareFile(const wchar_t* name, unsigned size, bool damaged = false) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + name;
        std::string text;
        for (unsigned at = 0; at < size; at += 16) {
            const unsigned count = std::min(16u, size - at), address = 0x8000 + at;
            std::vector<unsigned> record{count + 3, address >> 8, address & 0xFF};
            for (unsigned i = at; i < at + count; ++i) record.push_back(i * 5 & 0xFF);
            unsigned sum = 0;
            for (unsigned b : record) sum += b;
            record.push_back(~sum & 0xFF);
            text += "S1";
            char hex[3];
            for (unsigned b : record) text.append(hex, std::snprintf(hex, sizeof hex, "%02X", b));
            text += "\r\n";
        }
        if (damaged) text[text.find("\r\n") + 6] = 'G';
        text += "S90380007C\r\n";  // entry 0x8000
        std::ofstream(std::filesystem::path(path_), std::ios::binary) << text;
    }
    ~FirmwareFile() { DeleteFileW(path_.c_str()); }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

class FirmwareLoaderTest : public testing::Test {
protected:
    TowerLinkLibrary library_;
};

TEST_F(FirmwareLoaderTest, PutsFirmwareOnABrickWithoutAndReportsProgressInBytes) {
    const FirmwareFile file(L"kestrel-firmware.lgo", 1000);
    ComPtr<IBrickLink> link = library_.openVirtual(L"nofirmware");
    EXPECT_EQ(TOWERLINK_STATUS_NO_FIRMWARE, status(link.get()));
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    Bstr path(file.path());
    ASSERT_EQ(S_OK, loader->DownloadFirmware(path.get()));
    std::vector<std::wstring> progress, expected;
    for (const std::wstring& line : sink.heard) {
        if (line.rfind(L"TransferProgress", 0) == 0) progress.push_back(line);
    }
    for (int done = 0; done <= 1000; done += 200) {
        expected.push_back(L"TransferProgress " + std::to_wstring(done) + L" 1000");
    }
    EXPECT_EQ(expected, progress);
    unadvise(link.get(), cookie);
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get())) << "the firmware runs";
}

TEST_F(FirmwareLoaderTest, FailuresCarryTheirNumbersAndNameWhatFailed) {
    const FirmwareFile good(L"kestrel-good.lgo", 100);
    const FirmwareFile damaged(L"kestrel-damaged.lgo", 100, true);
    ComPtr<IBrickLink> link = library_.openVirtual(L"silent");
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    const HRESULT badFile = towerLinkError(TOWERLINK_E_BAD_FIRMWARE_FILE);
    const struct {
        std::wstring path;
        HRESULT number;
        const wchar_t* named;  // what the description names
    } cases[] = {{L"C:\\no-such-folder\\firm0328.lgo", badFile, L"no-such-folder"},
                 {damaged.path(), badFile, L"line 2: bad hex digits"},
                 {good.path(), towerLinkError(TOWERLINK_E_FIRMWARE_DOWNLOAD),
                  L"Nothing was changed on the brick"}};
    for (const auto& c : cases) {
        Bstr path(c.path);
        const HRESULT returned = loader->DownloadFirmware(path.get());
        EXPECT_NE(std::wstring::npos, library_.expectFailure(returned, c.number).find(c.named));
    }
    EXPECT_EQ(TOWERLINK_STATUS_NO_BRICK, status(link.get()));
}

}  // namespace
}  // namespace kestrel::test
