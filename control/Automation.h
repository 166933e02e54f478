// The type library that Kestrel.ocx carries, loaded once from the module's own file.
#pragma once

#include <oaidl.h>

namespace kestrel::automation {

// Borrowed pointers, valid until releaseTypeInfo(); throw ComError when the library is unreadable.
ITypeLib* typeLibrary();
ITypeInfo* interfaceInfo();  // _RcxPilot
ITypeInfo* classInfo();      // coclass RcxPilot

// Called when the module unloads.
void releaseTypeInfo();

}  // namespace kestrel::automation
