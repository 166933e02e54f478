// Owning automation variant.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace kestrel {

class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : Variant() { std::swap(v_, other.v_); }
    Variant& operator=(Variant&& other) noexcept {
        std::swap(v_, other.v_);
        return *this;
    }
    ~Variant() { reset(); }

    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARTYPE type() const { return V_VT(&v_); }

    void reset() { VariantClear(&v_); }
    // Moves the value into *out, which must not hold anything that needs freeing.
    void release(VARIANT* out) {
        *out = v_;
        VariantInit(&v_);
    }
    VARIANT* put() {
        reset();
        return &v_;
    }

private:
    VARIANT v_;
};

}  // namespace kestrel
