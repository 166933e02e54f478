// Module count and the class factory shared by the in-process servers.
#include "Module.h"

#include <atomic>
#include <new>

#include "ComError.h"
#include "ComObject.h"

namespace kestrel::module {

namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_count{0};
std::atomic<void (*)()> g_idle{nullptr};

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    static std::span<const InterfaceEntry<ClassFactory>> interfaces() {
        static const InterfaceEntry<ClassFactory> table[] = {
            inherited<ClassFactory, IClassFactory>(IID_IUnknown),
            inherited<ClassFactory, IClassFactory>(IID_IClassFactory),
        };
        return table;
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
    CreateFunction create_;
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
    return handOut(new (std::nothrow) ClassFactory(create), iid, factory);
}

}  // namespace kestrel::module
