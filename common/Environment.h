// Settings that reach the components through the process environment.
#pragma once

#include <string>

namespace kestrel {

// The variable's whole value, however long; empty when it is not set.
std::wstring environmentValue(const wchar_t* name);

}  // namespace kestrel
