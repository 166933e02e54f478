// The type library that Kestrel.ocx carries, read back as a container or a script engine reads it.
#include <gtest/gtest.h>

#include "KestrelLibrary.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

class TypeLibrary : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(L"Kestrel.ocx", REGKIND_NONE, library_.put()));
    }
    ComPtr<ITypeInfo> info(REFGUID guid) {
        ComPtr<ITypeInfo> result;
        EXPECT_HRESULT_SUCCEEDED(library_->GetTypeInfoOfGuid(guid, result.put()));
        return result;
    }
    ComPtr<ITypeLib> library_;
};

}  // namespace

// Its identity, version and help string show in its registration (RegistrationTest).
TEST_F(TypeLibrary, MarksTheLibraryInterfacesAndControlClass) {
    const LibAttr attr(library_.get());
    ASSERT_TRUE(attr);
    EXPECT_TRUE(attr->wLibFlags & LIBFLAG_FCONTROL);

    const WORD dual = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
    EXPECT_EQ(dual, TypeAttr(info(IID__RcxPilot).get())->wTypeFlags & dual);
    EXPECT_TRUE(TypeAttr(info(DIID___RcxPilot).get())->wTypeFlags & TYPEFLAG_FHIDDEN);
    EXPECT_TRUE(TypeAttr(info(CLSID_RcxPilot).get())->wTypeFlags & TYPEFLAG_FCONTROL);

    EXPECT_EQ(
        (std::map<int, GUID>{{IMPLTYPEFLAG_FDEFAULT, IID__RcxPilot},
                             {IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, DIID___RcxPilot}}),
        implementedBy(info(CLSID_RcxPilot).get()));
}

// The rules every method keeps, so that any caller binds it alike: early-bound callers pass
// each argument by reference, named arguments find their names, and only Execute's trailing
// three may be left out.
TEST_F(TypeLibrary, DescribesEveryMethodAsCallersBindIt) {
    ComPtr<ITypeInfo> type = info(IID__RcxPilot);
    int methods = 0;
    for (UINT i = 0; i < TypeAttr(type.get())->cFuncs; ++i) {
        const FuncDesc f(type.get(), i);
        ASSERT_TRUE(f);
        if (f->invkind == INVOKE_FUNC && f->memid >= DISPID_RCX_EXECUTE) {
            ++methods;
            BSTR names[8] = {};
            UINT count = 0;
            EXPECT_HRESULT_SUCCEEDED(type->GetNames(f->memid, names, 8, &count));
            const std::wstring name = count ? names[0] : L"";
            SCOPED_TRACE(testing::PrintToString(name));
            EXPECT_EQ(static_cast<UINT>(f->cParams) + 1, count) << "every parameter is named";
            for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
            int optional = 0;
            for (SHORT p = 0; p < f->cParams; ++p) {
                const ELEMDESC& param = f->lprgelemdescParam[p];
                EXPECT_EQ(VT_PTR, param.tdesc.vt) << "every parameter is by reference";
                const USHORT flags = param.paramdesc.wParamFlags;
                EXPECT_TRUE((flags & PARAMFLAG_FIN) && (flags & PARAMFLAG_FOUT));
                optional += (flags & PARAMFLAG_FOPT) ? 1 : 0;
            }
            EXPECT_EQ(name == L"Execute" ? 3 : 0, optional);
        }
    }
    EXPECT_EQ(24, methods);
}
