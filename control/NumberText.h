// How numbers read on the control's face and in its command texts.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// Decimal with one leading blank for zero and positive values, "-" in its place otherwise.
std::wstring numberText(int64_t value);
// Decimal without the blank: what goes into command texts.
std::wstring decimalText(int64_t value);
// "Error ", the number in upper-case hexadecimal (a negative one as its eight 32-bit digits),
// one blank and the description.
std::wstring errorReport(int32_t number, const std::wstring& description);

}  // namespace kestrel
