// The click handlers of Form1's 23 buttons: each reads its boxes, calls one method of RcxPilot1
// by its dispatch identifier and writes what came back on the form.
#pragma once

#include <string_view>

namespace kestrel::console {

class ConsoleWindow;

// Runs the handler of the named button. A failed call throws ComError at the point of the call,
// so nothing after it runs.
void runClickHandler(std::wstring_view button, ConsoleWindow& form);

}  // namespace kestrel::console
