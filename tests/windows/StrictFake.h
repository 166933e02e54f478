// The base of the tests' stand-ins for a container's objects: a COM object on the test's stack
// that counts references (the count is only watched, never acted on), answers the interfaces it
// is given, and fails the test on calls that the code under test must not make.
#pragma once

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <vector>

namespace kestrel::test {

template <typename Interface>
class StrictFake : public Interface {
public:
    explicit StrictFake(std::vector<IID> iids, const char* why = "") : iids_(iids), why_(why) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid != IID_IUnknown && std::find(iids_.begin(), iids_.end(), iid) == iids_.end())
            return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    // The test's own reference counts: 1 when no one else holds the object.
    ULONG refs() const { return refs_; }

protected:
    HRESULT unexpected() {
        ADD_FAILURE() << why_;
        return E_NOTIMPL;
    }

private:
    std::vector<IID> iids_;
    const char* why_;
    ULONG refs_ = 1;
};

}  // namespace kestrel::test
