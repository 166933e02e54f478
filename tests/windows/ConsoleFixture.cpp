// Setting up the form for the console tests and reading its controls.
#include "ConsoleFixture.h"

namespace kestrel::test {

void ConsoleWindowTest::openForm() {
    ASSERT_HRESULT_SUCCEEDED(library_.registerServer());
    form_ = std::make_unique<console::ConsoleWindow>(GetModuleHandleW(nullptr), SW_SHOWNORMAL,
                                                     console::ConsoleWindow::OnClose::KeepRunning);
    ASSERT_TRUE(form_->hasPilot())
        << (boxes_.boxes().empty() ? std::string("no box")
                                   : testing::PrintToString(boxes_.boxes()[0].text));
}

void ConsoleTest::SetUp() {
    resetFakeLink();
    ASSERT_NO_FATAL_FAILURE(openForm());
    fakeLink().calls.clear();
    boxes_.clear();
}

void ConsoleTest::TearDown() {
    form_.reset();
    EXPECT_EQ(0, fakeLink().liveLinks) << "closing the form closes the control and its link";
}

std::vector<std::wstring> listBoxLines(HWND list) {
    std::vector<std::wstring> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring line(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        line.resize(static_cast<size_t>(
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::wstring> ConsoleTest::commands() const {
    std::vector<std::wstring> found;
    for (const std::wstring& call : fakeLink().calls)
        if (call.starts_with(L"ExecuteCommand ")) found.push_back(call.substr(15));
    return found;
}

}  // namespace kestrel::test
