// How the console writes numbers and errors.
#pragma once

#include <cstdint>
#include <string>

#include "ComError.h"
#include "NumberText.h"

namespace kestrel::console {

// The text of the box that reports a failed call: its number, in decimal and in hexadecimal,
// and its description.
std::wstring runTimeErrorText(const ErrorDetails& error);

}  // namespace kestrel::console
