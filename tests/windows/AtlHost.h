// A form that hosts a control the way a C++ program does on Windows: atl.dll's AtlAxWin window
// class, whose window creates the control named by its title and activates it in place.
#pragma once

#include <windows.h>

#include <string>

#include "ComPtr.h"

namespace kestrel::test {

class AtlHost {
public:
    // Loads atl.dll once and registers its window class; throws when the system has none.
    AtlHost();
    AtlHost(const AtlHost&) = delete;
    AtlHost& operator=(const AtlHost&) = delete;
    ~AtlHost();

    // A visible top-level form with one AtlAxWin child of the given client size, hosting progId.
    // Returns false when the form or the control could not be made.
    bool open(const wchar_t* progId, int width, int height);
    // Destroys the form and with it the host window.
    void close();

    HWND form() const { return form_; }
    HWND axWindow() const { return axWindow_; }
    // The hosted control, as AtlAxGetControl gives it.
    ComPtr<IUnknown> control() const;

    // Dispatches the messages waiting on this thread for about the given time.
    static void pump(DWORD milliseconds);

private:
    HMODULE atl_ = nullptr;
    HWND form_ = nullptr;
    HWND axWindow_ = nullptr;
};

}  // namespace kestrel::test
