// A value or an error, for the pure parts of the link (C++20 has no std::expected yet).
#pragma once

#include <utility>
#include <variant>

namespace towerlink {

template <class T, class E>
class Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    const E& error() const { return std::get<1>(v_); }

    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, E> v_;
};

}  // namespace towerlink
