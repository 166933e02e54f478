// The run-time errors that the control and the console raise themselves, with the numbers and
// texts that Visual Basic callers know them by.
#pragma once

#include <olectl.h>

#include "ComError.h"

namespace kestrel {

inline constexpr HRESULT kSubscriptOutOfRange = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 9);

[[noreturn]] inline void throwOverflow() {
    throw ComError(CTL_E_OVERFLOW, L"Overflow");
}

[[noreturn]] inline void throwSubscriptOutOfRange() {
    throw ComError(kSubscriptOutOfRange, L"Subscript out of range");
}

// A number that must fit an Integer (16 bits) or overflows, as Visual Basic's CInt does.
template <typename Number>
short to16(Number value) {
    if (value < -32768 || value > 32767) throwOverflow();
    return static_cast<short>(value);
}

}  // namespace kestrel
