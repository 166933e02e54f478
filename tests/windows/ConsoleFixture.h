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

class ConsoleTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    HWND control(const wchar_t* name) const;
    std::wstring text(const wchar_t* name) const;
    void setText(const wchar_t* name, const wchar_t* value) const;
    // A click as the mouse makes it: the button takes the focus and its handler runs.
    void click(const wchar_t* button) const;
    std::vector<std::wstring> listLines() const;
    // The calls of the fake link that carried a command text.
    std::vector<std::wstring> commands() const;
    void closeForm();

    FakeLinkRegistration registration_;
    KestrelLibrary library_;
    MessageBoxHook boxes_;
    std::unique_ptr<console::ConsoleWindow> form_;
};

}  // namespace kestrel::test
