// The error path of the control's steps: run a body and keep what made it fail.
#pragma once

#include <new>
#include <optional>

#include "ComError.h"

namespace kestrel {

template <typename Body>
std::optional<ErrorDetails> attempt(Body&& body) {
    try {
        body();
        return std::nullopt;
    } catch (const ComError& e) {
        return e.details();
    } catch (const std::bad_alloc&) {
        return ErrorDetails{E_OUTOFMEMORY, L"Out of memory", {}, {}};
    } catch (...) {
        return ErrorDetails{E_UNEXPECTED, L"Unexpected failure", {}, {}};
    }
}

}  // namespace kestrel
