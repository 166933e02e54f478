// What an in-process server is made of: its classes, each a registry record and a create
// function, and what it does when its last object goes and when it is unloaded. Each server's
// Module.cpp defines description(); the DLL entry points are written once, in Server.cpp.
#pragma once

#include <objbase.h>

#include <span>

#include "Module.h"
#include "Registration.h"

namespace kestrel::server {

// Plain pointers only, so that a description is a constant that DllMain may read.
struct ServedClass {
    const ClassRecord& (*record)();
    module::CreateFunction create;
};

struct Description {
    const wchar_t* name;  // the exports' trace channel and error source: "kestrel", "TowerLink"
    std::span<const ServedClass> classes;
    void (*idle)() = nullptr;      // the module count fell to zero
    void (*unloaded)() = nullptr;  // FreeLibrary unloads the module; the process goes on
};

const Description& description();

}  // namespace kestrel::server
