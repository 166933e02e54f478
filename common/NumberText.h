// How numbers read on the control's face and in the console's boxes.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// Decimal without the blank: what goes into command texts.
inline std::wstring decimalText(int64_t value) {
    return std::to_wstring(value);
}

// Decimal with one leading blank for zero and positive values, "-" in its place otherwise.
inline std::wstring numberText(int64_t value) {
    return value < 0 ? decimalText(value) : L" " + decimalText(value);
}

}  // namespace kestrel
