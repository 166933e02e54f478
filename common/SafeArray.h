// Owning safe array, and a typed scope around SafeArrayAccessData.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <stdexcept>
#include <utility>

#include "ComError.h"

namespace kestrel {

// Whether `a` truly is a one-dimensional array of bytes, and not merely one that carries the
// byte-array type. An array made without a recorded element type can only be judged by its
// element size.
inline bool isByteVector(SAFEARRAY* a) {
    if (!a || SafeArrayGetDim(a) != 1 || SafeArrayGetElemsize(a) != 1) return false;
    VARTYPE element = VT_EMPTY;
    return FAILED(SafeArrayGetVartype(a, &element)) || element == VT_UI1;
}

class SafeArray {
public:
    SafeArray() = default;
    explicit SafeArray(SAFEARRAY* adopted) : a_(adopted) {}
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;
    SafeArray(SafeArray&& other) noexcept : a_(std::exchange(other.a_, nullptr)) {}
    SafeArray& operator=(SafeArray&& other) noexcept {
        std::swap(a_, other.a_);
        return *this;
    }
    ~SafeArray() { reset(); }

    // A one-dimensional array of the given element type and bounds lower..lower+count-1.
    static SafeArray vector(VARTYPE vt, LONG lower, ULONG count) {
        SAFEARRAYBOUND bound{count, lower};
        SAFEARRAY* a = SafeArrayCreate(vt, 1, &bound);
        if (!a) throw std::bad_alloc();
        return SafeArray(a);
    }

    SAFEARRAY* get() const { return a_; }
    void reset() {
        if (SAFEARRAY* a = std::exchange(a_, nullptr)) SafeArrayDestroy(a);
    }
    SAFEARRAY* release() { return std::exchange(a_, nullptr); }

private:
    SAFEARRAY* a_ = nullptr;
};

// Holds the array's data locked for as long as it lives.
template <typename T>
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* a) : a_(a) {
        throwIfFailed(SafeArrayAccessData(a_, reinterpret_cast<void**>(&data_)));
    }
    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;
    ~SafeArrayData() { SafeArrayUnaccessData(a_); }

    T* data() const { return data_; }
    T& operator[](size_t i) const { return data_[i]; }

private:
    SAFEARRAY* a_;
    T* data_ = nullptr;
};

}  // namespace kestrel
