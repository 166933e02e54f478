// The object kit of the COM servers and the test fakes: a reference-counted object that keeps
// the module loaded while it lives and answers QueryInterface from a table, and a mixin for
// sub-objects that share the identity and the count of the object they are part of.
#pragma once

#include <objbase.h>

#include <atomic>
#include <span>

#include "ComError.h"
#include "Module.h"

namespace kestrel {

// One row of an object's QueryInterface table: the interface and how to reach it.
template <typename Object>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*find)(Object& object);
};

// The row of an interface that Object inherits, through Via where the path is ambiguous.
template <typename Object, typename Interface, typename Via = Interface>
InterfaceEntry<Object> inherited(const IID& iid) {
    return {&iid, [](Object& object) -> IUnknown* {
                return static_cast<Interface*>(static_cast<Via*>(&object));
            }};
}

// The row of an interface that a sub-object (the member Part) answers for Object.
template <typename Object, auto Part, typename Interface>
InterfaceEntry<Object> partOf(const IID& iid) {
    return {&iid,
            [](Object& object) -> IUnknown* { return (object.*Part).template as<Interface>(); }};
}

// The table lookup behind every QueryInterface of the kit.
template <typename Object>
HRESULT queryTable(Object& object, std::span<const InterfaceEntry<Object>> table, REFIID iid,
                   void** result) {
    RETURN_HR_IF(E_POINTER, !result);
    *result = nullptr;
    for (const auto& entry : table) {
        if (*entry.iid == iid) {
            IUnknown* found = entry.find(object);
            found->AddRef();
            *result = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// Derived implements Interfaces and provides `static std::span<const InterfaceEntry<Derived>>
// interfaces()`. It starts with one reference, which its creator owns.
template <typename Derived, typename... Interfaces>
class ComObject : public Interfaces... {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        return queryTable(static_cast<Derived&>(*this), Derived::interfaces(), iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            // A destructor may reach code that takes a reference and drops it again (a sink,
            // a message box); that must not delete the object a second time.
            refs_ = 1;
            delete this;
        }
        return left;
    }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    module::Lifetime lifetime_;
    std::atomic<ULONG> refs_{1};
};

// Hands out `iid` of a freshly made object and drops the creator's reference, as a class
// factory's create function does.
template <typename Object>
HRESULT handOut(Object* made, REFIID iid, void** result) {
    RETURN_HR_IF(E_POINTER, !result);
    *result = nullptr;
    RETURN_IF_NULL_ALLOC(made);
    const HRESULT hr = made->QueryInterface(iid, result);
    made->Release();
    return hr;
}

// A sub-object that is part of another object: all of IUnknown goes to the owner, so that a
// client holding the sub-object keeps the whole object alive.
template <typename... Interfaces>
class SharedIdentity : public Interfaces... {
public:
    explicit SharedIdentity(IUnknown& owner) : owner_(owner) {}
    SharedIdentity(const SharedIdentity&) = delete;
    SharedIdentity& operator=(const SharedIdentity&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        return owner_.QueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }

    // The sub-object as one of its interfaces, for the owner's QueryInterface table.
    template <typename Interface>
    IUnknown* as() {
        return static_cast<Interface*>(this);
    }

protected:
    ~SharedIdentity() = default;
    IUnknown& owner() { return owner_; }

private:
    IUnknown& owner_;
};

}  // namespace kestrel
