// Module count and the class factory shared by the in-process servers.
#include "Module.h"

#include <atomic>

#include "ComError.h"

namespace kestrel::module {

namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_count{0};
std::atomic<void (*)()> g_idle{nullptr};

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        RETURN_HR_IF(E_POINTER, !object);
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        RETURN_HR_IF(E_POINTER, !object);
        *object = nullptr;
        RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer != nullptr);
        return create_(iid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            addRef();
        else
            release();
        return S_OK;
    }

private:
    Lifetime lifetime_;
    CreateFunction create_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace

void setInstance(HINSTANCE instance) {
    g_instance = instance;
}
HINSTANCE instance() {
    return g_instance;
}

std::wstring path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(g_instance, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void addRef() {
    ++g_count;
}
void release() {
    if (--g_count != 0) return;
    if (auto idle = g_idle.load()) idle();
}
void setIdleHandler(void (*handler)()) {
    g_idle = handler;
}
bool canUnload() {
    return g_count == 0;
}

HRESULT getClassFactory(CreateFunction create, REFIID iid, void** factory) {
    RETURN_HR_IF(E_POINTER, !factory);
    *factory = nullptr;
    auto* created = new (std::nothrow) ClassFactory(create);
    RETURN_IF_NULL_ALLOC(created);
    const HRESULT hr = created->QueryInterface(iid, factory);
    created->Release();
    return hr;
}

}  // namespace kestrel::module
