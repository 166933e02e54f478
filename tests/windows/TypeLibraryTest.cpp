// The type library that Kestrel.ocx carries, read back as a container or a script engine reads it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Bstr.h"
#include "KestrelLibrary.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct ExpectedMethod {
    DISPID id;
    const wchar_t* name;
    std::vector<const wchar_t*> params;
    std::vector<VARTYPE> types;  // each parameter's type behind its pointer
    int optional;                // trailing optional parameters
    VARTYPE result;              // VT_EMPTY for none
};

const std::vector<ExpectedMethod> kMethods = {
    {0x60030000,
     L"Execute",
     {L"Source", L"TLasm", L"nResult", L"nPos", L"result"},
     {VT_BSTR, VT_BOOL, VT_I4, VT_I4, VT_VARIANT},
     3,
     VT_EMPTY},
    {0x60030001, L"Reconnect", {}, {}, 0, VT_EMPTY},
    {0x60030002, L"PBAliveOrNot", {}, {}, 0, VT_BOOL},
    {0x60030003, L"TowerAlive", {}, {}, 0, VT_BOOL},
    {0x60030004, L"SelectDisplay", {L"Source", L"Number"}, {VT_I2, VT_I2}, 0, VT_EMPTY},
    {0x60030005, L"SetWatch", {L"uur", L"minuut"}, {VT_I2, VT_I2}, 0, VT_EMPTY},
    {0x60030006, L"PlaySystemsound", {L"Number"}, {VT_I2}, 0, VT_EMPTY},
    {0x60030007, L"PlayTone", {L"Frequency", L"Time"}, {VT_I2, VT_I2}, 0, VT_EMPTY},
    {0x60030008, L"Onn", {L"motorlist"}, {VT_I2}, 0, VT_EMPTY},
    {0x60030009, L"Off", {L"motorlist"}, {VT_I2}, 0, VT_EMPTY},
    {0x6003000A, L"Float", {L"motorlist"}, {VT_I2}, 0, VT_EMPTY},
    {0x6003000B, L"SetFwd", {L"motorlist"}, {VT_I2}, 0, VT_EMPTY},
    {0x6003000C, L"SetRwd", {L"motorlist"}, {VT_I2}, 0, VT_EMPTY},
    {0x6003000D, L"AlterDir", {L"motorlist"}, {VT_I2}, 0, VT_EMPTY},
    {0x6003000E, L"SetPower", {L"motorlist", L"power"}, {VT_I2, VT_I2}, 0, VT_EMPTY},
    {0x6003000F, L"SetSensorType", {L"Number", L"Typ"}, {VT_I2, VT_I2}, 0, VT_EMPTY},
    {0x60030010,
     L"SetSensorMode",
     {L"Number", L"Typ", L"slope"},
     {VT_I2, VT_I2, VT_I2},
     0,
     VT_EMPTY},
    {0x60030011, L"SelectPrgm", {L"Number"}, {VT_I2}, 0, VT_EMPTY},
    {0x60030012, L"Poll", {L"Source", L"Number"}, {VT_I2, VT_I2}, 0, VT_I4},
    {0x60030013, L"PBattery", {}, {}, 0, VT_I2},
    {0x60030014, L"SetVar", {L"Varno", L"Source", L"Number"}, {VT_I2, VT_I2, VT_I2}, 0, VT_EMPTY},
    {0x60030015, L"SetDatalog", {L"Size"}, {VT_I2}, 0, VT_EMPTY},
    {0x60030016, L"DatalogNext", {L"Source", L"Number"}, {VT_I2, VT_I2}, 0, VT_EMPTY},
    {0x60030017, L"UploadDatalog", {L"From", L"Size"}, {VT_I2, VT_I2}, 0, VT_VARIANT},
};

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

TEST_F(TypeLibrary, NamesTheControlLibraryVersion15) {
    TLIBATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(library_->GetLibAttr(&attr));
    EXPECT_EQ(LIBID_kestrel, attr->guid);
    EXPECT_EQ(15, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_TRUE(attr->wLibFlags & LIBFLAG_FCONTROL);
    library_->ReleaseTLibAttr(attr);
    Bstr name, doc;
    ASSERT_HRESULT_SUCCEEDED(
        library_->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr));
    EXPECT_EQ(L"kestrel", name.str());
    EXPECT_EQ(L"kestrel", doc.str());
}

TEST_F(TypeLibrary, MarksInterfacesAndControlClass) {
    auto flags = [&](REFGUID guid) {
        ComPtr<ITypeInfo> type = info(guid);
        TYPEATTR* attr = nullptr;
        EXPECT_HRESULT_SUCCEEDED(type->GetTypeAttr(&attr));
        const WORD result = attr->wTypeFlags;
        type->ReleaseTypeAttr(attr);
        return result;
    };
    const WORD dual = flags(IID__RcxPilot);
    EXPECT_TRUE(dual & TYPEFLAG_FHIDDEN);
    EXPECT_TRUE(dual & TYPEFLAG_FDUAL);
    EXPECT_TRUE(dual & TYPEFLAG_FNONEXTENSIBLE);
    // The vtable half of the dual interface carries the automation flag.
    ComPtr<ITypeInfo> dispatchHalf = info(IID__RcxPilot);
    HREFTYPE vtableRef = 0;
    ASSERT_HRESULT_SUCCEEDED(dispatchHalf->GetRefTypeOfImplType(-1, &vtableRef));
    ComPtr<ITypeInfo> vtableHalf;
    ASSERT_HRESULT_SUCCEEDED(dispatchHalf->GetRefTypeInfo(vtableRef, vtableHalf.put()));
    TYPEATTR* vtableAttr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(vtableHalf->GetTypeAttr(&vtableAttr));
    EXPECT_EQ(TKIND_INTERFACE, vtableAttr->typekind);
    EXPECT_TRUE(vtableAttr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    vtableHalf->ReleaseTypeAttr(vtableAttr);
    EXPECT_TRUE(flags(DIID___RcxPilot) & TYPEFLAG_FHIDDEN);
    EXPECT_TRUE(flags(CLSID_RcxPilot) & TYPEFLAG_FCONTROL);

    ComPtr<ITypeInfo> coclass = info(CLSID_RcxPilot);
    std::map<int, GUID> implemented;
    for (UINT i = 0; i < 2; ++i) {
        INT implFlags = 0;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(i, &implFlags));
        HREFTYPE ref = 0;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(i, &ref));
        ComPtr<ITypeInfo> type;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeInfo(ref, type.put()));
        TYPEATTR* attr = nullptr;
        ASSERT_HRESULT_SUCCEEDED(type->GetTypeAttr(&attr));
        implemented[implFlags] = attr->guid;
        type->ReleaseTypeAttr(attr);
    }
    EXPECT_EQ(IID__RcxPilot, implemented[IMPLTYPEFLAG_FDEFAULT]);
    EXPECT_EQ(DIID___RcxPilot, implemented[IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE]);
}

TEST_F(TypeLibrary, DescribesEveryMethodAsCallersBindIt) {
    ComPtr<ITypeInfo> type = info(IID__RcxPilot);
    TYPEATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(type->GetTypeAttr(&attr));
    std::map<DISPID, FUNCDESC*> byId;
    std::vector<FUNCDESC*> all;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_HRESULT_SUCCEEDED(type->GetFuncDesc(i, &f));
        all.push_back(f);
        if (f->invkind == INVOKE_FUNC) byId[f->memid] = f;
    }
    type->ReleaseTypeAttr(attr);

    for (const ExpectedMethod& m : kMethods) {
        SCOPED_TRACE(testing::Message() << std::hex << m.id);
        ASSERT_TRUE(byId.count(m.id));
        FUNCDESC* f = byId[m.id];
        BSTR names[8] = {};
        UINT count = 0;
        ASSERT_HRESULT_SUCCEEDED(type->GetNames(m.id, names, 8, &count));
        ASSERT_EQ(m.params.size() + 1, count);
        EXPECT_STREQ(m.name, names[0]);
        for (size_t p = 0; p < m.params.size(); ++p) EXPECT_STREQ(m.params[p], names[p + 1]);
        for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);

        ASSERT_EQ(static_cast<SHORT>(m.params.size()), f->cParams);
        int optional = 0;
        for (SHORT p = 0; p < f->cParams; ++p)
            optional += (f->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FOPT) ? 1 : 0;
        EXPECT_EQ(m.optional, optional);
        for (SHORT p = 0; p < f->cParams; ++p) {
            const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
            ASSERT_EQ(VT_PTR, t.vt) << "every parameter is by reference";
            EXPECT_EQ(m.types[p], t.lptdesc->vt);
            const USHORT flags = f->lprgelemdescParam[p].paramdesc.wParamFlags;
            EXPECT_TRUE((flags & PARAMFLAG_FIN) && (flags & PARAMFLAG_FOUT));
        }
        // The dispatch view of a dual interface shows the [retval] as the function's result.
        const VARTYPE returned = f->elemdescFunc.tdesc.vt;
        if (m.result == VT_EMPTY)
            EXPECT_TRUE(returned == VT_VOID || returned == VT_HRESULT);
        else
            EXPECT_EQ(m.result, returned);
    }
    for (FUNCDESC* f : all) type->ReleaseFuncDesc(f);
}

TEST_F(TypeLibrary, PortIsAReadWriteStringProperty) {
    ComPtr<ITypeInfo> type = info(IID__RcxPilot);
    MEMBERID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"port");
    ASSERT_HRESULT_SUCCEEDED(type->GetIDsOfNames(&name, 1, &id));
    EXPECT_EQ(0x40030000, id);
}
