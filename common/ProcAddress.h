// A function that a system DLL may or may not export, looked up by name at run time.
#pragma once

#include <windows.h>

namespace kestrel {

// Null when the module is missing or does not export the name. The detour through void* keeps
// compilers from warning about the cast between unrelated function types.
template <typename Function>
Function procAddress(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace kestrel
