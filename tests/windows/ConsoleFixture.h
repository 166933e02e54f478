// TestKestrel's form created in the test process: Kestrel.ocx registered so that the form's host
// creates RcxPilot1 by its program identifier, on the scripted fake link, with message boxes
// caught.
#pragma once

#include <gtest/gtest.h>
#include <ole2.h>

#include <memory>
#include <string>
#include <vector>

#include "ConsoleWindow.h"
#include "FakeLink.h"
#include "KestrelLibrary.h"
#include "MessageBoxHook.h"

namespace kestrel::test {

// The lines of a list box, as long as they are.
std::vector<std::wstring> listBoxLines(HWND list);

// The form with its boxes and buttons, on whatever link class the test has registered.
class ConsoleWindowTest : public testing::Test {
protected:
    // The control is activated in place, which needs OLE on the test thread.
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }
    // Registers Kestrel.ocx and opens the form, whose control must have been created.
    void openForm();

    HWND control(const wchar_t* name) const {
        HWND window = form_->control(name);
        EXPECT_NE(nullptr, window) << testing::PrintToString(std::wstring(name));
        return window;
    }
    std::wstring text(const wchar_t* name) const { return windowText(control(name)); }
    void setText(const wchar_t* name, const wchar_t* value) const {
        SetWindowTextW(control(name), value);
    }
    // A click as the mouse makes it: the button takes the focus and its handler runs.
    void click(const wchar_t* button) const { SendMessageW(control(button), BM_CLICK, 0, 0); }
    std::vector<std::wstring> listLines() const { return listBoxLines(control(L"List1")); }

    KestrelLibrary library_;
    MessageBoxHook boxes_;
    std::unique_ptr<console::ConsoleWindow> form_;
};

// The form on the scripted fake link.
class ConsoleTest : public ConsoleWindowTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The calls of the fake link that carried a command text.
    std::vector<std::wstring> commands() const;

    FakeLinkRegistration registration_;
};

}  // namespace kestrel::test
