// Kestrel.ocx's self-registration: the records it writes, their removal, and its exports.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "KestrelLibrary.h"
#include "Registration.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

std::wstring value(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return L"<missing>";
    return data;
}

bool exists(const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::set<std::string> exportsOf(HMODULE module) {
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        result.insert(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ(exports->NumberOfNames, exports->NumberOfFunctions) << "no exports by number only";
    return result;
}

}  // namespace

TEST(Registration, RecordsTheControlAndRemovesItAgain) {
    KestrelLibrary library;
    ASSERT_HRESULT_SUCCEEDED(library.registerServer());

    const std::wstring clsid = L"CLSID\\" + guidText(CLSID_RcxPilot);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(library.module(), path, MAX_PATH);
    EXPECT_EQ(path, value(clsid + L"\\InprocServer32"));
    EXPECT_EQ(L"Apartment", value(clsid + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"kestrel.RcxPilot", value(clsid + L"\\ProgID"));
    // The program identifier's own class entry is what HostingTest creates the control by.
    EXPECT_TRUE(exists(clsid + L"\\Control"));
    EXPECT_EQ(L"131473", value(clsid + L"\\MiscStatus\\1"));
    EXPECT_EQ(std::wstring(path) + L", 30000", value(clsid + L"\\ToolboxBitmap32"));
    EXPECT_EQ(guidText(LIBID_kestrel), value(clsid + L"\\TypeLib"));
    EXPECT_EQ(L"15.0", value(clsid + L"\\Version"));
    EXPECT_EQ(L"kestrel", value(L"TypeLib\\" + guidText(LIBID_kestrel) + L"\\f.0"))
        << "the type library, version 15.0, under its help string";

    ASSERT_HRESULT_SUCCEEDED(library.unregisterServer());
    EXPECT_FALSE(exists(clsid));
    EXPECT_FALSE(exists(L"kestrel.RcxPilot"));
    EXPECT_FALSE(exists(L"TypeLib\\" + guidText(LIBID_kestrel)));
}

TEST(Registration, ExportsTheFourEntryPointsAndCarriesTheToolboxPictureAndVersion) {
    KestrelLibrary library;
    EXPECT_EQ((std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                     "DllUnregisterServer"}),
              exportsOf(library.module()));
    HBITMAP picture = LoadBitmapW(library.module(), MAKEINTRESOURCEW(30000));
    ASSERT_TRUE(picture);
    BITMAP info{};
    GetObjectW(picture, sizeof(info), &info);
    EXPECT_EQ(16, info.bmWidth);
    EXPECT_EQ(15, info.bmHeight);
    DeleteObject(picture);

    // Installers and regsvr32-like tools look for this mark before calling DllRegisterServer.
    HRSRC found = FindResourceW(library.module(), MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_TRUE(found);
    const void* block = LockResource(LoadResource(library.module(), found));
    std::wstring text(static_cast<const wchar_t*>(block),
                      SizeofResource(library.module(), found) / sizeof(wchar_t));
    EXPECT_NE(std::wstring::npos, text.find(L"OLESelfRegister"));
}
