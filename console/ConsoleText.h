// How the console writes numbers and errors.
#pragma once

#include <cstdint>
#include <string>

#include "ComError.h"

namespace kestrel::console {

// Decimal with one leading blank for zero and positive values, "-" in its place otherwise.
std::wstring numberText(int64_t value);

// The text of the box that reports a failed call: its number, in decimal and in hexadecimal,
// and its description.
std::wstring runTimeErrorText(const ErrorDetails& error);

}  // namespace kestrel::console
