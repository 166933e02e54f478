// A scripted stand-in for the brick link, registered under the link's class identifier so that
// RcxPilot creates it as it would create TowerLink. It records every call with its arguments
// and answers with the codes, replies and failures that a test scripts.
#pragma once

#include <IBrickLink.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TowerLinkFailure.h"

namespace kestrel::test {

struct FakeFailure {
    HRESULT number;
    std::wstring description;
    std::wstring helpFile;
};

struct FakeReply {
    long result = 0;
    std::function<void(VARIANT*)> fill;  // the reply variant, left empty when unset
    std::optional<FakeFailure> failure;
    std::optional<long> position;  // written into the position when set
};

// A reply filler: a byte array with the given lower bound.
std::function<void(VARIANT*)> bytes(LONG lower, std::vector<BYTE> values);
// A 2 x 2 array of bytes, typed as a byte array that is not a byte vector.
std::function<void(VARIANT*)> byteMatrix();
// A vector of three 16-bit elements typed as an array of `element`: VT_UI1 claims bytes falsely.
std::function<void(VARIANT*)> shortsTypedAs(VARTYPE element);
// A reply filler: a copy of `value`, which it takes over.
std::function<void(VARIANT*)> copyOf(VARIANT value);

inline FakeReply code(long result, std::function<void(VARIANT*)> fill = nullptr) {
    FakeReply reply;
    reply.result = result;
    reply.fill = std::move(fill);
    return reply;
}

struct FakeLinkScript {
    std::vector<std::wstring> calls;
    // Runs as each call arrives, after it is recorded.
    std::function<void(const std::wstring& call)> onCall;
    // A call that reached the link with a non-empty reply or a non-zero result code.
    int dirtyInputs = 0;

    std::map<long, long> info{{3, 1}, {6, 0}, {4, 1}};
    std::map<std::wstring, FakeFailure> failures;  // by operation name, for every call of it
    std::deque<FakeReply> replies;                 // ExecuteCommand answers, in order
    long datalogStart = 0;
    long datalogEnd = 0;
    std::function<void(VARIANT*)> datalog;
    bool refuseAdvise = false;
    int liveLinks = 0;
    int connections = 0;
};

FakeLinkScript& fakeLink();
void resetFakeLink();

// Registers the fake's class object for this process while the guard lives.
class FakeLinkRegistration {
public:
    FakeLinkRegistration();
    FakeLinkRegistration(const FakeLinkRegistration&) = delete;
    FakeLinkRegistration& operator=(const FakeLinkRegistration&) = delete;
    ~FakeLinkRegistration();

private:
    DWORD cookie_ = 0;
};

}  // namespace kestrel::test
