// The entry points every server shares, on a server of their own whose class record cannot be
// made for want of memory: what the exports answer then.
#include <gtest/gtest.h>
#include <olectl.h>

#include <functional>
#include <new>

#include "Bstr.h"
#include "ComError.h"
#include "ComPtr.h"
#include "Server.h"

namespace kestrel::server {
namespace {

const ClassRecord& recordWithoutMemory() {
    throw std::bad_alloc();
}

HRESULT neverCreated(REFIID, void**) {
    ADD_FAILURE() << "no object is made";
    return E_UNEXPECTED;
}

constexpr ServedClass kClasses[] = {{&recordWithoutMemory, &neverCreated}};

}  // namespace

const Description& description() {
    static constexpr Description server{L"ServerTest", kClasses};
    return server;
}

}  // namespace kestrel::server

namespace kestrel::test {
namespace {

TEST(Server, EachExportAnswersOutOfMemoryWithErrorInformationAndThrowsNothing) {
    void* factory = reinterpret_cast<void*>(0xdeadbeef);
    const struct {
        const char* name;
        std::function<HRESULT()> call;
    } exports[] = {
        {"DllGetClassObject",
         [&] { return DllGetClassObject(CLSID_NULL, IID_IClassFactory, &factory); }},
        {"DllRegisterServer", DllRegisterServer},
        {"DllUnregisterServer", DllUnregisterServer},
    };
    for (const auto& e : exports) {
        SCOPED_TRACE(e.name);
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(E_OUTOFMEMORY, e.call());
        ComPtr<IErrorInfo> error;
        ASSERT_EQ(S_OK, GetErrorInfo(0, error.put()));
        Bstr text;
        error->GetDescription(text.put());
        EXPECT_EQ(kOutOfMemoryText, text.str());
        error->GetSource(text.put());
        EXPECT_EQ(L"ServerTest", text.str());
    }
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

}  // namespace
}  // namespace kestrel::test
