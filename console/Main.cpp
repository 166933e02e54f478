// TestKestrel.exe: shows Form1 and runs its messages until the window closes.
#include <windows.h>
#include <ole2.h>

#include "ConsoleText.h"
#include "ConsoleWindow.h"
#include "FormLayout.h"
#include "ThreadApartment.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // The hosted control is activated in place, which needs OLE on this thread.
    const kestrel::ThreadApartment ole(kestrel::ThreadApartment::With::Ole);
    if (FAILED(ole.result())) {
        const auto error = kestrel::takeErrorInfo(ole.result());
        MessageBoxW(nullptr, kestrel::console::runTimeErrorText(error).c_str(),
                    kestrel::console::kFormTitle, MB_OK | MB_ICONERROR);
        return 1;
    }
    int exitCode = 0;
    try {
        kestrel::console::ConsoleWindow form(instance, showCommand,
                                             kestrel::console::ConsoleWindow::OnClose::EndProgram);
        MSG message;
        BOOL got;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
            if (form.translate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        exitCode = got == -1 ? 1 : static_cast<int>(message.wParam);
    } catch (const kestrel::ComError& error) {
        MessageBoxW(nullptr, kestrel::console::runTimeErrorText(error.details()).c_str(),
                    kestrel::console::kFormTitle, MB_OK | MB_ICONERROR);
        exitCode = 1;
    }
    return exitCode;
}
