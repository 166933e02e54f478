// TowerLink.dll's firmware download (IFirmwareLoader) on the VIRTUAL port: through the vtable
// and late-bound, with progress events, and its failures with their error numbers.
#include <gtest/gtest.h>

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

constexpr HRESULT kBadFirmwareFile = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x210);
constexpr HRESULT kFirmwareDownload = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x211);

// One S1 record at `address` holding `data`, with its count and checksum.
std::string s1(unsigned address, const std::vector<unsigned char>& data) {
    std::vector<unsigned char> body{static_cast<unsigned char>(data.size() + 3),
                                    static_cast<unsigned char>(address >> 8),
                                    static_cast<unsigned char>(address)};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (unsigned char b : body) sum += b;
    body.push_back(static_cast<unsigned char>(~sum));
    std::string line = "S1";
    char hex[3];
    for (unsigned char b : body) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\r\n";
}

// A firmware file of `size` bytes, written to the temporary folder; removed when it goes.
class FirmwareFile {
public:
    FirmwareFile(const wchar_t* name, std::size_t size, bool damaged = false) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + name;
        std::string text;
        for (std::size_t at = 0; at < size; at += 16) {
            std::vector<unsigned char> data;
            for (std::size_t i = at; i < at + 16 && i < size; ++i) data.push_back(i * 5 & 0xFF);
            text += s1(0x8000 + static_cast<unsigned>(at), data);
        }
        if (damaged) text[text.find("\r\n") + 6] = 'G';  // a bad hex digit on line 2
        text += "S90380007C\r\n";                        // entry 0x8000
        std::ofstream(std::filesystem::path(path_), std::ios::binary) << text;
    }
    ~FirmwareFile() { DeleteFileW(path_.c_str()); }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

class FirmwareLoaderTest : public testing::Test {
protected:
    ComPtr<IBrickLink> openVirtual(const wchar_t* faults) { return library_.openVirtual(faults); }
    static long status(IBrickLink* link) { return info(link, 3); }
    static std::wstring description() {
        ComPtr<IErrorInfo> error;
        Bstr text;
        if (GetErrorInfo(0, error.put()) == S_OK && error) error->GetDescription(text.put());
        return text.str();
    }

    TowerLinkLibrary library_;
};

TEST_F(FirmwareLoaderTest, PutsFirmwareOnABrickWithoutAndReportsProgressInBytes) {
    const FirmwareFile file(L"kestrel-firmware.lgo", 1000);
    ComPtr<IBrickLink> link = openVirtual(L"nofirmware");
    EXPECT_EQ(7, status(link.get()));
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    Bstr path(file.path());
    ASSERT_EQ(S_OK, loader->DownloadFirmware(path.get()))
        << std::string(description().begin(), description().end());
    std::vector<std::wstring> progress;
    for (const std::wstring& line : sink.heard) {
        if (line.rfind(L"TransferProgress", 0) == 0) progress.push_back(line);
    }
    EXPECT_EQ(
        (std::vector<std::wstring>{L"TransferProgress 0 1000", L"TransferProgress 200 1000",
                                   L"TransferProgress 400 1000", L"TransferProgress 600 1000",
                                   L"TransferProgress 800 1000", L"TransferProgress 1000 1000"}),
        progress);
    unadvise(link.get(), cookie);
    EXPECT_EQ(1, status(link.get())) << "the firmware runs";
}

TEST_F(FirmwareLoaderTest, FailuresCarryTheirNumbersAlsoWhenLateBound) {
    const FirmwareFile good(L"kestrel-good.lgo", 100);
    const FirmwareFile damaged(L"kestrel-damaged.lgo", 100, true);
    ComPtr<IBrickLink> link = openVirtual(L"silent");
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    Bstr missing(L"C:\\no-such-folder\\firm0328.lgo");
    EXPECT_EQ(kBadFirmwareFile, loader->DownloadFirmware(missing.get()));
    EXPECT_NE(std::wstring::npos, description().find(L"no-such-folder"));
    Bstr bad(damaged.path());
    EXPECT_EQ(kBadFirmwareFile, loader->DownloadFirmware(bad.get()));
    EXPECT_NE(std::wstring::npos, description().find(L"line 2: bad hex digits"));
    Bstr path(good.path());
    EXPECT_EQ(kFirmwareDownload, loader->DownloadFirmware(path.get()));
    EXPECT_NE(std::wstring::npos, description().find(L"Nothing was changed on the brick"));
    EXPECT_EQ(6, status(link.get())) << "no brick";

    // Late bound, the path passed by reference as script engines do.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IDispatch, dispatch));
    LPOLESTR name = const_cast<LPOLESTR>(L"downloadfirmware");
    DISPID id = 0;
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    Variant inner;
    V_VT(inner.get()) = VT_BSTR;
    V_BSTR(inner.get()) = SysAllocString(bad.get());
    VARIANT arg;
    V_VT(&arg) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&arg) = inner.get();
    DISPPARAMS params{&arg, nullptr, 1, 0};
    ExcepInfo exception;
    EXPECT_EQ(DISP_E_EXCEPTION, dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                                 &exception, nullptr));
    EXPECT_EQ(kBadFirmwareFile, exception.scode);
}

}  // namespace
}  // namespace kestrel::test
