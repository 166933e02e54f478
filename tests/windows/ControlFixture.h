// A created RcxPilot on the scripted fake link, with message boxes caught.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeLink.h"
#include "KestrelLibrary.h"
#include "MessageBoxHook.h"

namespace kestrel::test {

// The label text of the one control face of this thread, read while a call is under way.
std::wstring threadFaceCaption();

class ControlTest : public testing::Test {
protected:
    void SetUp() override {
        resetFakeLink();
        pilot_ = library_.create();
        fakeLink().calls.clear();
        boxes_.clear();
    }
    void TearDown() override {
        // A test's call observer may refer to its locals, which are gone by now.
        fakeLink().onCall = nullptr;
        pilot_.reset();
        EXPECT_EQ(0, fakeLink().liveLinks);
    }

    std::vector<std::wstring>& calls() { return fakeLink().calls; }
    // The caption of the face's label, as the control keeps it.
    std::wstring caption() { return threadFaceCaption(); }

    FakeLinkRegistration registration_;
    KestrelLibrary library_;
    MessageBoxHook boxes_;
    ComPtr<_RcxPilot> pilot_;
};

}  // namespace kestrel::test
