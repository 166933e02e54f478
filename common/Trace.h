// A trace of the calls that reach the servers' COM methods, in Wine's TRACE style
// ("0024:trace:kestrel:RcxPilot::Onn"), on when KESTREL_TRACE is set to anything but 0. It goes
// to the debugger (OutputDebugString) and to standard error. When off, a call costs one test.
#pragma once

#include <objbase.h>

namespace kestrel::trace {

bool enabled() noexcept;

// `channel` is the component ("kestrel", "TowerLink"); `function` the compiler's full name of
// the method, shortened in the output to class and method.
void write(const wchar_t* channel, const char* function, HRESULT failed) noexcept;

inline void call(const wchar_t* channel, const char* function) noexcept {
    if (enabled()) write(channel, function, S_OK);
}
inline void failed(const wchar_t* channel, const char* function, HRESULT hr) noexcept {
    if (enabled()) write(channel, function, hr);
}

}  // namespace kestrel::trace
