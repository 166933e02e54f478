// A COM server's DLL loaded straight from its file, as a container's COM library would load it,
// without depending on the registry of the test machine; the base of the two test libraries.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

#include "ComPtr.h"
#include "ProcAddress.h"
#include "WindowText.h"

namespace kestrel::test {

class LoadedLibrary {
public:
    explicit LoadedLibrary(const wchar_t* file);
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    ~LoadedLibrary();

    HMODULE module() const { return module_; }
    HRESULT classFactory(REFCLSID clsid, ComPtr<IClassFactory>& factory) const;
    HRESULT canUnloadNow() const { return callExport("DllCanUnloadNow"); }
    HRESULT registerServer() const { return callExport("DllRegisterServer"); }
    HRESULT unregisterServer() const { return callExport("DllUnregisterServer"); }
    // The folder the DLL was loaded from, with a trailing backslash.
    std::wstring folder() const;

private:
    HRESULT callExport(const char* name) const {
        return procAddress<HRESULT(WINAPI*)()>(module_, name)();
    }

    HMODULE module_ = nullptr;
};

// An EXCEPINFO that frees the texts a callee filled in.
struct ExcepInfo : EXCEPINFO {
    ExcepInfo() : EXCEPINFO{} {}
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
};

}  // namespace kestrel::test
