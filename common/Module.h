// What an in-process server needs from its module: its instance, its path, a truthful count of
// live objects and locks for DllCanUnloadNow, and a class factory.
#pragma once

#include <objbase.h>

#include <string>

namespace kestrel::module {

void setInstance(HINSTANCE instance);
HINSTANCE instance();
std::wstring path();

// Every COM object of the module holds one count while it lives; LockServer adds one too.
void addRef();
void release();
bool canUnload();

// Runs whenever the count falls to zero. Caches of COM objects are dropped here rather than in
// DllMain, where releasing them is not allowed.
void setIdleHandler(void (*handler)());

// Keeps the module count for as long as the holder lives; objects embed one.
class Lifetime {
public:
    Lifetime() { addRef(); }
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;
    ~Lifetime() { release(); }
};

// create() makes an object with one reference, or throws.
using CreateFunction = HRESULT (*)(REFIID iid, void** object);

// Hands out a class factory for the given create function.
HRESULT getClassFactory(CreateFunction create, REFIID iid, void** factory);

}  // namespace kestrel::module
