// Owning reference to a COM interface: one AddRef per owner, Release on reset or destruction.
#pragma once

#include <objbase.h>

#include <utility>

namespace kestrel {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to an existing pointer.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already owns (for example a fresh [out] pointer).
    static ComPtr adopt(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Gives up ownership, for [out, retval] results.
    T* release() { return std::exchange(p_, nullptr); }
    // Address for an [out] parameter; drops what was held first.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    template <typename U>
    HRESULT queryInterface(REFIID iid, ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.putVoid());
    }

private:
    T* p_ = nullptr;
};

}  // namespace kestrel
