// Descriptions that a type library lends out (a type's attributes, a function's, the library's),
// held while the holder lives and given back to the object they came from.
#pragma once

#include <oaidl.h>

#include "ComPtr.h"

namespace kestrel {

template <typename Source, typename Description, auto lend, auto giveBack>
class TypeDescription {
public:
    // Fails (get() is null) when the source has no such description; `where` is what lending takes
    // before the out-parameter, a function's index for example.
    template <typename... Where>
    explicit TypeDescription(Source* source, Where... where) {
        if (source && SUCCEEDED((source->*lend)(where..., &description_))) source_ = ComPtr(source);
    }
    TypeDescription(const TypeDescription&) = delete;
    TypeDescription& operator=(const TypeDescription&) = delete;
    ~TypeDescription() {
        if (source_) (source_.get()->*giveBack)(description_);
    }

    const Description* get() const { return source_ ? description_ : nullptr; }
    const Description* operator->() const { return description_; }
    explicit operator bool() const { return get() != nullptr; }

private:
    ComPtr<Source> source_;
    Description* description_ = nullptr;
};

using TypeAttr =
    TypeDescription<ITypeInfo, TYPEATTR, &ITypeInfo::GetTypeAttr, &ITypeInfo::ReleaseTypeAttr>;
using FuncDesc =
    TypeDescription<ITypeInfo, FUNCDESC, &ITypeInfo::GetFuncDesc, &ITypeInfo::ReleaseFuncDesc>;
using LibAttr =
    TypeDescription<ITypeLib, TLIBATTR, &ITypeLib::GetLibAttr, &ITypeLib::ReleaseTLibAttr>;

}  // namespace kestrel
