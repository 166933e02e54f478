// The type library that Kestrel.ocx carries, loaded once from the module's own file.
#pragma once

#include <oaidl.h>

#include "ComPtr.h"

namespace kestrel::automation {

// Each call hands out a reference of its own; throws ComError when the library is unreadable.
ComPtr<ITypeInfo> interfaceInfo();  // _RcxPilot
ComPtr<ITypeInfo> classInfo();      // coclass RcxPilot

// Drops the cached type information; called when the module has no objects left, since a DLL
// must not release COM objects while it is being unloaded.
void releaseTypeInfo();

}  // namespace kestrel::automation
