// Registry records of an in-process COM class and its type library, written machine-wide when
// that is allowed and for the current user otherwise, and removed again without touching
// anything the registration did not write.
#pragma once

#include <objbase.h>

#include <optional>
#include <string>

namespace kestrel {

struct ClassRecord {
    CLSID clsid;
    std::wstring name;    // the class key's default value
    std::wstring progId;  // recorded both ways: class to ProgID, ProgID to class
    std::wstring threadingModel = L"Apartment";
    bool control = false;
    std::optional<DWORD> miscStatus;   // OLEMISC bits, under MiscStatus\1
    std::optional<int> toolboxBitmap;  // bitmap resource number of the module
    std::optional<GUID> typeLibrary;
    std::wstring version;  // "major.minor"
};

// Records the class served by the module at modulePath, and registers the type library that the
// module carries as resource TYPELIB 1 when typeLibrary is set.
HRESULT registerServer(const ClassRecord& record, const std::wstring& modulePath);
HRESULT unregisterServer(const ClassRecord& record, const std::wstring& modulePath);

std::wstring guidText(REFGUID guid);

}  // namespace kestrel
