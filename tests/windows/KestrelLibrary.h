// Kestrel.ocx loaded straight from its file, as a container's COM library would, without
// depending on the registry of the test machine.
#pragma once

#include <windows.h>
#include <kestrel_tlb.h>

#include <map>
#include <vector>

#include "ComPtr.h"
#include "LoadedLibrary.h"
#include "TypeDescription.h"

namespace kestrel::test {

class KestrelLibrary : public LoadedLibrary {
public:
    KestrelLibrary() : LoadedLibrary(L"Kestrel.ocx") {}

    // A new RcxPilot (its creation handler has run), or the failure of its creation.
    HRESULT create(ComPtr<_RcxPilot>& pilot) const;
    ComPtr<_RcxPilot> create() const;
};

// Calls a method by dispatch identifier with arguments in their natural order.
HRESULT invoke(IDispatch* target, DISPID id, const std::vector<VARIANT>& args,
               VARIANT* result = nullptr, EXCEPINFO* exception = nullptr, UINT* argError = nullptr);

VARIANT text(const wchar_t* value);  // a VT_BSTR the callee does not free; free with clear()
VARIANT i2(short value);
VARIANT i4(long value);
VARIANT byRef(VARIANT* target);  // VT_VARIANT | VT_BYREF
VARIANT byRef(short& target);    // VT_I2 | VT_BYREF
VARIANT byRef(long& target);     // VT_I4 | VT_BYREF
void clear(std::initializer_list<VARIANT*> values);

// An uploaded datalog table's entries, each of its three elements as a number, -1 where one is
// empty; checks that the table is an array of variants, entries by three bytes or empties.
std::vector<std::vector<int>> datalogEntries(const VARIANT* table);

// The interfaces a class implements, each under its IMPLTYPEFLAGS.
std::map<int, GUID> implementedBy(ITypeInfo* coclass);

}  // namespace kestrel::test
