// Catches the modal message boxes that the code under test shows on this thread: records each
// box's text and title and closes it with OK, so that no test waits for a person. A box that
// the test never looked at through boxes() fails it when the hook goes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestrel::test {

struct CaughtBox {
    std::wstring text;
    std::wstring title;
    bool hasIcon;
    int buttons;
    HWND owner;
};

class MessageBoxHook {
public:
    MessageBoxHook();
    MessageBoxHook(const MessageBoxHook&) = delete;
    MessageBoxHook& operator=(const MessageBoxHook&) = delete;
    ~MessageBoxHook();

    const std::vector<CaughtBox>& boxes() const;
    void clear();

private:
    HHOOK hook_ = nullptr;
    mutable std::size_t seen_ = 0;
};

}  // namespace kestrel::test
