// The error path of the control's steps: run a body and keep what made it fail.
#pragma once

#include <optional>

#include "ComError.h"

namespace kestrel {

template <typename Body>
std::optional<ErrorDetails> catchFailure(Body&& body) {
    try {
        body();
        return std::nullopt;
    } catch (...) {
        return caughtError();
    }
}

}  // namespace kestrel
