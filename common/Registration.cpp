// Writes and removes the registry records of a COM class.
#include "Registration.h"

#include <oleauto.h>

#include <cwchar>
#include <vector>

#include "ComError.h"
#include "ComPtr.h"
#include "ProcAddress.h"
#include "TypeDescription.h"
#include "UniqueHandle.h"

namespace kestrel {

namespace {

struct Writer {
    HKEY root;
    LONG status = ERROR_SUCCESS;

    void write(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
        if (status != ERROR_SUCCESS) return;
        RegistryKey key;
        status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                                 nullptr);
        if (status != ERROR_SUCCESS) return;
        status =
            RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void key(const std::wstring& path) {
        if (status != ERROR_SUCCESS) return;
        RegistryKey key;
        status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                                 nullptr);
    }
};

// Machine-wide class records need administrator rights; without them a user can still use the
// control through the per-user classes.
bool machineWideWritable() {
    RegistryKey key;
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

// Both bitnesses of a module register the same class, ProgID and type library; each has its own
// registry view for class and interface keys. The other bitness's view, seen from this module
// (on a system without WoW64 the flag is ignored and the view is our own).
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

bool exists(HKEY root, const std::wstring& path, REGSAM view) {
    RegistryKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// Looks in the machine's and the user's classes, in both views.
bool classesKeyExists(const std::wstring& path) {
    const std::wstring full = L"Software\\Classes\\" + path;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (REGSAM view : {REGSAM{0}, kOtherView})
            if (exists(root, full, view)) return true;
    return false;
}

// Whether the other bitness still serves the class; asked once our own records are gone, so
// that without WoW64 the answer is no.
bool otherBitnessServes(const ClassRecord& r) {
    const std::wstring path =
        L"Software\\Classes\\CLSID\\" + guidText(r.clsid) + L"\\InprocServer32";
    return exists(HKEY_LOCAL_MACHINE, path, kOtherView) ||
           exists(HKEY_CURRENT_USER, path, kOtherView);
}

void deleteProgId(HKEY root, const ClassRecord& r) {
    // Only a ProgID that still names this class is ours to remove.
    RegistryKey key;
    if (RegOpenKeyExW(root, (r.progId + L"\\CLSID").c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return;
    wchar_t value[64] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS &&
        _wcsicmp(value, guidText(r.clsid).c_str()) == 0)
        deleteTree(root, r.progId);
}

// The per-user type library calls are not in every import library; oleaut32 has them.
template <typename Function>
Function oleautFunction(const char* name) {
    return procAddress<Function>(GetModuleHandleW(L"oleaut32.dll"), name);
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

// Registration creates the classes key it needs; unregistration only opens what is there.
HRESULT openClassesRoot(bool perUser, bool create, RegistryKey& root) {
    const HKEY base = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const LONG status =
        create ? RegCreateKeyExW(base, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 root.put(), nullptr)
               : RegOpenKeyExW(base, L"Software\\Classes", 0, KEY_ALL_ACCESS, root.put());
    return HRESULT_FROM_WIN32(status);
}

template <typename Action>
void forEachClassesRoot(Action action) {
    for (bool perUser : {false, true}) {
        RegistryKey root;
        if (SUCCEEDED(openClassesRoot(perUser, false, root))) action(root.get(), perUser);
    }
}

std::wstring hex(unsigned value) {
    wchar_t text[16] = {};
    swprintf(text, 16, L"%x", value);
    return text;
}

// The interface keys that the system's unregistration leaves in the other view, named by our
// library, go too once no bitness uses the library.
void deleteOtherViewInterfaces(ITypeLib* library, REFGUID libraryId) {
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind = TKIND_MAX;
        ComPtr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfoType(i, &kind)) ||
            (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) ||
            FAILED(library->GetTypeInfo(i, info.put())))
            continue;
        const TypeAttr attr(info.get());
        if (!attr) continue;
        const std::wstring iid = guidText(attr->guid);
        for (HKEY base : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegistryKey interfaces;
            if (RegOpenKeyExW(base, L"Software\\Classes\\Interface", 0, KEY_ALL_ACCESS | kOtherView,
                              interfaces.put()) != ERROR_SUCCESS)
                continue;
            wchar_t value[64] = {};
            DWORD size = sizeof(value) - sizeof(wchar_t);
            if (RegGetValueW(interfaces.get(), (iid + L"\\TypeLib").c_str(), nullptr, RRF_RT_REG_SZ,
                             nullptr, value, &size) == ERROR_SUCCESS &&
                _wcsicmp(value, guidText(libraryId).c_str()) == 0)
                deleteTree(interfaces.get(), iid);
        }
    }
}

// Removes this bitness's registration of the library, and the library's shared records only
// when the other bitness has no registration of it left.
void unregisterTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library;
    if (FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.put()))) return;
    const LibAttr attr(library.get());
    if (!attr) return;
    const std::wstring libraryKey = L"TypeLib\\" + guidText(attr->guid);
    const std::wstring locale = libraryKey + L"\\" + hex(attr->wMajorVerNum) + L"." +
                                hex(attr->wMinorVerNum) + L"\\" + hex(attr->lcid) + L"\\";
    const bool win64 = attr->syskind == SYS_WIN64;
    if (classesKeyExists(locale + (win64 ? L"win32" : L"win64"))) {
        forEachClassesRoot(
            [&](HKEY root, bool) { deleteTree(root, locale + (win64 ? L"win64" : L"win32")); });
    } else {
        UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                          attr->syskind);
        forEachClassesRoot([&](HKEY root, bool perUser) {
            if (perUser && exists(root, libraryKey, 0)) unregisterForUser(*attr.get());
        });
        deleteOtherViewInterfaces(library.get(), attr->guid);
    }
}

}  // namespace

std::wstring guidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT registerServer(const ClassRecord& record, const std::wstring& modulePath) {
    const bool perUser = !machineWideWritable();
    RegistryKey root;
    RETURN_IF_FAILED(openClassesRoot(perUser, true, root));
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
    // Our own view's class records first: what the other bitness still has registered after
    // that is what stays shared.
    forEachClassesRoot(
        [&](HKEY root, bool) { deleteTree(root, L"CLSID\\" + guidText(record.clsid)); });
    if (!record.progId.empty() && !otherBitnessServes(record))
        forEachClassesRoot([&](HKEY root, bool) { deleteProgId(root, record); });
    if (record.typeLibrary) unregisterTypeLibrary(modulePath);
    return S_OK;
}

}  // namespace kestrel
