// Writes and removes the registry records of a COM class.
#include "Registration.h"

#include <oleauto.h>

#include <vector>

#include "ComError.h"
#include "ComPtr.h"

namespace kestrel {

namespace {

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* put() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
        return &key_;
    }

private:
    HKEY key_ = nullptr;
};

struct Writer {
    HKEY root;
    LONG status = ERROR_SUCCESS;

    void write(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
        if (status != ERROR_SUCCESS) return;
        RegKey key;
        status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                                 nullptr);
        if (status != ERROR_SUCCESS) return;
        status =
            RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void key(const std::wstring& path) {
        if (status != ERROR_SUCCESS) return;
        RegKey key;
        status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                                 nullptr);
    }
};

// Machine-wide class records need administrator rights; without them a user can still use the
// control through the per-user classes.
bool machineWideWritable() {
    RegKey key;
    const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0,
                                      KEY_CREATE_SUB_KEY | KEY_SET_VALUE, key.put());
    return status == ERROR_SUCCESS;
}

HRESULT writeRecords(HKEY root, const ClassRecord& r, const std::wstring& modulePath) {
    const std::wstring clsid = L"CLSID\\" + guidText(r.clsid);
    Writer w{root};
    w.write(clsid, nullptr, r.name);
    w.write(clsid + L"\\InprocServer32", nullptr, modulePath);
    w.write(clsid + L"\\InprocServer32", L"ThreadingModel", r.threadingModel);
    if (!r.progId.empty()) {
        w.write(clsid + L"\\ProgID", nullptr, r.progId);
        w.write(r.progId, nullptr, r.name);
        w.write(r.progId + L"\\CLSID", nullptr, guidText(r.clsid));
    }
    if (r.control) w.key(clsid + L"\\Control");
    if (r.miscStatus) {
        w.write(clsid + L"\\MiscStatus", nullptr, L"0");
        w.write(clsid + L"\\MiscStatus\\1", nullptr, std::to_wstring(*r.miscStatus));
    }
    if (r.toolboxBitmap)
        w.write(clsid + L"\\ToolboxBitmap32", nullptr,
                modulePath + L", " + std::to_wstring(*r.toolboxBitmap));
    if (r.typeLibrary) w.write(clsid + L"\\TypeLib", nullptr, guidText(*r.typeLibrary));
    if (!r.version.empty()) w.write(clsid + L"\\Version", nullptr, r.version);
    return HRESULT_FROM_WIN32(w.status);
}

void deleteTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
}

void deleteRecords(HKEY root, const ClassRecord& r) {
    deleteTree(root, L"CLSID\\" + guidText(r.clsid));
    if (!r.progId.empty()) {
        // Only a ProgID that still names this class is ours to remove.
        RegKey key;
        if (RegOpenKeyExW(root, (r.progId + L"\\CLSID").c_str(), 0, KEY_READ, key.put()) ==
            ERROR_SUCCESS) {
            wchar_t value[64] = {};
            DWORD size = sizeof(value) - sizeof(wchar_t);
            if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
                _wcsicmp(value, guidText(r.clsid).c_str()) == 0)
                deleteTree(root, r.progId);
        }
    }
}

// The per-user type library calls are not in every import library; oleaut32 has them.
template <typename Function>
Function oleautFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), name)));
}

HRESULT registerForUser(ITypeLib* library, wchar_t* path) {
    using Register = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
    auto function = oleautFunction<Register>("RegisterTypeLibForUser");
    return function ? function(library, path, nullptr) : RegisterTypeLib(library, path, nullptr);
}

void unregisterForUser(const TLIBATTR& a) {
    using Unregister = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    if (auto function = oleautFunction<Unregister>("UnRegisterTypeLibForUser"))
        function(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}

HRESULT openClassesRoot(bool perUser, RegKey& root) {
    const LONG status =
        RegCreateKeyExW(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, L"Software\\Classes", 0,
                        nullptr, 0, KEY_ALL_ACCESS, nullptr, root.put(), nullptr);
    return HRESULT_FROM_WIN32(status);
}

}  // namespace

std::wstring guidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT registerServer(const ClassRecord& record, const std::wstring& modulePath) {
    const bool perUser = !machineWideWritable();
    RegKey root;
    RETURN_IF_FAILED(openClassesRoot(perUser, root));
    HRESULT hr = writeRecords(root.get(), record, modulePath);
    if (SUCCEEDED(hr) && record.typeLibrary) {
        ComPtr<ITypeLib> library;
        hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.put());
        if (SUCCEEDED(hr)) {
            std::wstring path = modulePath;
            hr = perUser ? registerForUser(library.get(), path.data())
                         : RegisterTypeLib(library.get(), path.data(), nullptr);
        }
    }
    if (FAILED(hr)) unregisterServer(record, modulePath);
    return hr;
}

HRESULT unregisterServer(const ClassRecord& record, const std::wstring& modulePath) {
    if (record.typeLibrary) {
        ComPtr<ITypeLib> library;
        if (SUCCEEDED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.put()))) {
            TLIBATTR* attr = nullptr;
            if (SUCCEEDED(library->GetLibAttr(&attr))) {
                UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                  attr->syskind);
                unregisterForUser(*attr);
                library->ReleaseTLibAttr(attr);
            }
        }
    }
    for (bool perUser : {false, true}) {
        RegKey root;
        if (SUCCEEDED(openClassesRoot(perUser, root))) deleteRecords(root.get(), record);
    }
    return S_OK;
}

}  // namespace kestrel
