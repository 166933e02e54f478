// The face's report of an error.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// "Error ", the number in upper-case hexadecimal (a negative one as its eight 32-bit digits),
// one blank and the description.
std::wstring errorReport(int32_t number, const std::wstring& description);

}  // namespace kestrel
