// Loading a COM server's DLL and calling its exports.
#include "LoadedLibrary.h"

#include <stdexcept>
#include <string>

namespace kestrel::test {

LoadedLibrary::LoadedLibrary(const wchar_t* file) : module_(LoadLibraryW(file)) {
    if (!module_)
        throw std::runtime_error("a server library does not load: error " +
                                 std::to_string(GetLastError()));
}

LoadedLibrary::~LoadedLibrary() {
    FreeLibrary(module_);
}

HRESULT LoadedLibrary::classFactory(REFCLSID clsid, ComPtr<IClassFactory>& factory) const {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    return procAddress<GetClassObject>(module_, "DllGetClassObject")(clsid, IID_IClassFactory,
                                                                     factory.putVoid());
}

std::wstring LoadedLibrary::folder() const {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module_, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

}  // namespace kestrel::test
