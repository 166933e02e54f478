// The USB tower through WinUSB, against a scripted tower carrying the virtual brick's bytes:
// finding and numbering towers, the setup requests, commands end to end on a clean and a noisy
// line, reads given up at their deadline, a tower that fails, and opening without memory.
#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <optional>

#include "CommandParser.h"
#include "Datalog.h"
#include "PortConnection.h"
#include "ScriptedTower.h"
#include "Session.h"
#include "TowerLinkError.h"
#include "WinUsbTowerTransport.h"

using namespace towerlink;
using test::ControlRequest;
using test::ScriptedTower;
using test::TowerFaults;
using test::winUsbDevice;
using Kind = UsbTowerOpenFailure::Kind;

namespace {

// Set to n, lets n more allocations succeed and fails the next one; -1 lets all succeed.
std::atomic<int> g_allocationsBeforeFailure{-1};

}  // namespace

void* operator new(std::size_t size) {
    if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0)
        throw std::bad_alloc();
    if (void* p = HeapAlloc(GetProcessHeap(), 0, size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

struct Rig {
    explicit Rig(std::vector<UsbDeviceEntry> devices = {
                     winUsbDevice(L"USB\\VID_0694&PID_0001\\5&1F&0&2")}) {
        tower.devices = std::move(devices);
    }

    std::optional<UsbTowerOpenFailure> open(int number = 1, TowerRange range = TowerRange::Short) {
        auto opened = WinUsbTowerTransport::open(number, range, tower);
        if (!opened) return opened.error();
        transport = std::move(opened.value());
        session.emplace(*transport, clock);
        return std::nullopt;
    }

    ExecuteResult run(const std::string& text) {
        auto request = parseCommand(text, CommandForm::Lasm);
        EXPECT_TRUE(request.ok()) << text;
        return session->execute(request.value());
    }

    std::int32_t answer(const std::string& text) {
        ExecuteResult r = run(text);
        EXPECT_TRUE(r.ok()) << text << ": " << (r.ok() ? "" : r.error().message);
        return r.ok() ? r->value : -99999;
    }

    ~Rig() {
        session.reset();
        transport.reset();
        EXPECT_EQ(0, tower.openDevices) << "every device opened is closed";
        for (const std::string& m : tower.misuse) ADD_FAILURE() << m;
    }

    ManualClock clock{Micros{1000000}};
    VirtualBrick brick{clock, 7};
    ScriptedTower tower{clock, brick};
    std::unique_ptr<WinUsbTowerTransport> transport;
    std::optional<Session> session;
};

bool mentions(const std::wstring& text, const wchar_t* part) {
    return text.find(part) != std::wstring::npos;
}

}  // namespace

TEST(WinUsbTower, NumbersTowersByInstanceAndSaysWhyOneCannotBeOpened) {
    // Instance ids compare without regard to case, as Windows treats them.
    const UsbDeviceEntry first = winUsbDevice(L"usb\\vid_0694&pid_0001\\5&1f&0&1");
    const UsbDeviceEntry second = winUsbDevice(L"USB\\VID_0694&PID_0001\\5&1F&0&3");
    const UsbDeviceEntry unbound{L"USB\\VID_0694&PID_0001\\5&1F&0&4", L"", {}};
    const UsbDeviceEntry legoDriver{L"USB\\VID_0694&PID_0001\\5&1F&0&4", L"LEGOTower", {}};
    struct Case {
        const char* what;
        std::vector<UsbDeviceEntry> devices;
        int number;
        DWORD openError;
        std::optional<Kind> kind;  // none: opens `opens`
        const wchar_t* opensOrSays;
    } cases[] = {
        {"no tower", {}, 1, 0, Kind::NoTower, L"\"LEGO USB Tower\""},
        {"USB, of two", {second, first}, 1, 0, std::nullopt, first.instanceId.c_str()},
        {"USB2, of two", {second, first}, 2, 0, std::nullopt, second.instanceId.c_str()},
        {"USB3, of two", {second, first}, 3, 0, Kind::NoTower, L"as USB3"},
        {"no driver", {unbound}, 1, 0, Kind::NotBound, L"no driver serves it"},
        {"LEGO's driver", {legoDriver}, 1, 0, Kind::NotBound, L"LEGOTower, not through WinUSB"},
        {"no winusb.dll", {first}, 1, ERROR_MOD_NOT_FOUND, Kind::NoWinUsb, L"winusb.dll"},
        {"held elsewhere", {first}, 1, ERROR_ACCESS_DENIED, Kind::Busy, L"in use"},
        {"gone meanwhile", {first}, 1, ERROR_FILE_NOT_FOUND, Kind::Failed, L"cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(c.devices);
        rig.tower.openError = c.openError;
        const auto failure = rig.open(c.number);
        if (!c.kind) {
            ASSERT_FALSE(failure) << std::string(failure->description.begin(),
                                                 failure->description.end());
            EXPECT_EQ(std::vector{ScriptedTower::pathOf(c.opensOrSays)}, rig.tower.openedPaths);
            continue;
        }
        ASSERT_TRUE(failure);
        EXPECT_EQ(*c.kind, failure->kind);
        EXPECT_TRUE(mentions(failure->description, c.opensOrSays));
        if (c.kind == Kind::NotBound || c.kind == Kind::NoTower) {
            EXPECT_TRUE(mentions(failure->description, L"bind the WinUSB driver"))
                << "says how to make the tower usable";
        }
        EXPECT_EQ(c.openError, failure->osError);
    }
}

TEST(WinUsbTower, OpeningSendsRangeAndBothSpeedsAndChecksEachAnswer) {
    for (TowerRange range : {TowerRange::Short, TowerRange::Long}) {
        Rig rig;
        ASSERT_FALSE(rig.open(1, range));
        const USHORT rangeValue = static_cast<USHORT>(0x02 | static_cast<int>(range) << 8);
        EXPECT_EQ((std::vector<ControlRequest>{{0xC0, 0x02, rangeValue, 0, 4},
                                               {0xC0, 0xEF, 0x0008, 0, 4},
                                               {0xC0, 0xF1, 0x0008, 0, 4}}),
                  rig.tower.requests);
        EXPECT_EQ(L"", rig.transport->setRange(TowerRange::Medium));
        EXPECT_EQ((ControlRequest{0xC0, 0x02, 0x0202, 0, 4}), rig.tower.requests.back());
    }
    const struct {
        ScriptedTower::FailingRequest failing;
        const wchar_t* says;
    } cases[] = {
        {{0x02, 0, 3, 4}, L"set range was answered with error 3"},
        {{0xEF, ERROR_GEN_FAILURE, 0, 4}, L"set transmit speed failed with system error 31"},
        {{0xF1, 0, 0, 2}, L"set receive speed was answered with 2 bytes instead of 4"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.tower.failing = c.failing;
        const auto failure = rig.open();
        ASSERT_TRUE(failure);
        EXPECT_EQ(Kind::Refused, failure->kind);
        EXPECT_TRUE(mentions(failure->description, c.says)) << c.failing.request;
        EXPECT_EQ(c.failing.systemError, failure->osError);
        EXPECT_EQ(c.failing.request, rig.tower.requests.back().request)
            << "no request after a failed one";
    }
}

TEST(WinUsbTower, CommandsReachTheBrickWhateverTheTowerPacketsItsReplies) {
    for (std::size_t packet : {8, 3, 1}) {
        SCOPED_TRACE(packet);
        Rig rig;
        rig.tower.faults.maxPacket = packet;
        ASSERT_FALSE(rig.open());
        rig.brick.fillDatalog(40);
        Datalog log(*rig.session);
        ASSERT_EQ(123, log.extent().value());
        // The size entry, then each logged entry's type and value, low byte first.
        Bytes expected = {0xFF, 41, 0};
        for (const DatalogEntry& e : rig.brick.state().datalog)
            expected.insert(expected.end(),
                            {e.type, std::uint8_t(e.value), std::uint8_t(e.value >> 8)});
        EXPECT_EQ(expected, log.readBytes(0, 123).value());
    }
}

TEST(WinUsbTower, OnANoisyLineEveryCommandIsRightAndOnceOrClearlyFailed) {
    Rig rig;
    rig.tower.faults.maxPacket = 3;
    rig.tower.faults.loseEvery = 4;
    ASSERT_FALSE(rig.open());
    int succeeded = 0;
    for (int i = 0; i < 40; ++i) {
        ExecuteResult r = rig.run("sumv 5,2,1");
        if (r.ok()) {
            ++succeeded;
        } else {
            EXPECT_TRUE(r.error().error == LinkError::NoBrick ||
                        r.error().error == LinkError::BadCommunication)
                << r.error().message;
        }
    }
    const int total = rig.brick.state().variables[5];
    EXPECT_GE(total, succeeded) << "every success was carried out";
    EXPECT_LE(total, 40) << "and none twice";
    EXPECT_GT(succeeded, 30) << "retries recover from most losses";
    rig.tower.faults = {};
    EXPECT_EQ(total, rig.answer("poll 0,5"));
}

TEST(WinUsbTower, AReadGivenUpIsCancelledAndItsLateAnswerNeverReachesTheNextExchange) {
    // As a read meets a packet that waits: at once, inside ReadPipe, or at the host's next poll.
    for (const TowerFaults& meeting : {TowerFaults{}, TowerFaults{.synchronous = true},
                                       TowerFaults{.pollDelay = Micros{8000}}}) {
        SCOPED_TRACE(meeting.synchronous         ? "synchronous"
                     : meeting.pollDelay.count() ? "polled"
                                                 : "");
        Rig rig;
        rig.tower.faults = meeting;
        ASSERT_FALSE(rig.open());
        rig.answer("setv 1,2,111");
        rig.answer("setv 2,2,222");
        rig.tower.faults.replyDelay = Micros{3000000};
        EXPECT_EQ(LinkError::NoBrick, rig.run("poll 0,1").error().error);
        // The late replies are all there when the next exchange starts, and a read given up on
        // completes with one of them.
        rig.tower.faults.replyDelay = Micros{0};
        rig.tower.faults.completeOnAbort = true;
        rig.clock.advance(Micros{4000000});
        EXPECT_EQ(222, rig.answer("poll 0,2"));
        EXPECT_EQ(111, rig.answer("poll 0,1"));

        // At the transport itself: what completes as a read is given up is kept for the caller,
        // and what the caller did not take, in the transport or still in the tower, is dropped
        // by the discard that starts the next exchange.
        rig.tower.faults.replyDelay = Micros{500000};
        rig.tower.faults.maxPacket = 3;
        ASSERT_FALSE(rig.transport->write(encodePacket(Bytes{0x10})).failed);
        std::uint8_t buffer[16] = {};
        const IoResult late =
            rig.transport->read(std::span(buffer, 4), Micros{100000}, Micros{30000});
        EXPECT_EQ(4u, late.count) << "the packet that completed the cancelled read, and the next";
        rig.tower.faults = meeting;
        rig.clock.advance(Micros{1000000});
        rig.transport->discardInput();
        ASSERT_FALSE(rig.transport->write(encodePacket(Bytes{0x30})).failed);
        const IoResult fresh = rig.transport->read(buffer, Micros{1000000}, Micros{30000});
        EXPECT_EQ(encodePacket(Bytes{0xCF, 9300 & 0xFF, 9300 >> 8}),
                  Bytes(buffer, buffer + fresh.count));
    }
}

TEST(WinUsbTower, AFailingTowerEndsTheExchangeInTimeAndSaysWhy) {
    const Micros never{3600000000LL};  // the brick's answer never comes in time
    const DWORD refused = ERROR_GEN_FAILURE;
    const struct {
        const char* what;
        TowerFaults faults;  // the time of unplugging counts from the exchange's start
        DWORD osError;
        const char* doing;  // what the failure names, on USB
        bool recovers;      // the next command, with the write fault gone, succeeds
    } cases[] = {
        {"write fails", {.writeError = ERROR_GEN_FAILURE}, ERROR_GEN_FAILURE, "writing", true},
        {"write times out", {.writeError = ERROR_SEM_TIMEOUT}, ERROR_SEM_TIMEOUT, "writing", true},
        {"abort refused", {.replyDelay = never, .abortError = refused}, refused, "reading", false},
        {"unplugged in a read", {.unplugAt = Micros{40000}}, test::kUnplugged, "reading", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        ASSERT_FALSE(rig.open());
        const Micros start = rig.clock.now();
        rig.tower.faults = c.faults;
        if (c.faults.unplugAt) rig.tower.faults.unplugAt = start + *c.faults.unplugAt;
        const ExecuteResult r = rig.run("poll 0,1");
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(LinkError::NoTower, r.error().error);
        EXPECT_EQ(static_cast<int>(c.osError), r.error().osError);
        EXPECT_NE(std::string::npos, r.error().message.find(c.doing)) << r.error().message;
        EXPECT_LT(rig.clock.now() - start, Micros{2000000})
            << "without waiting for what never comes";
        rig.tower.faults.writeError = 0;
        EXPECT_EQ(c.recovers, rig.run("poll 0,1").ok());
    }
}

TEST(WinUsbTower, OpeningThatRunsOutOfMemoryAnywhereLeavesNoDeviceOpen) {
    bool opened = false;
    for (int n = 0; !opened; ++n) {
        Rig rig;  // checks that every device opened is closed
        g_allocationsBeforeFailure = n;
        try {
            opened = WinUsbTowerTransport::open(1, TowerRange::Short, rig.tower).ok();
        } catch (const std::bad_alloc&) {
        }
        g_allocationsBeforeFailure = -1;
    }
}

TEST(WinUsbTower, ARangeTheTowerRefusesOnAnOpenPortIsReported) {
    Rig rig;
    const auto connection =
        PortConnection::open(PortName{PortKind::Usb, 1}, TowerRange::Short, {}, rig.tower);
    rig.tower.failing = {0x02, 0, 3, 4};
    try {
        connection->setTowerRange(TowerRange::Long);
        ADD_FAILURE() << "the refused range went unreported";
    } catch (const kestrel::ComError& e) {
        EXPECT_EQ(hresultOf(TowerLinkError::BadTower), e.number());
        EXPECT_TRUE(mentions(e.details().description, L"set range was answered with error 3"));
    }
}

TEST(WinUsbTower, TheSystemsWinUsbLoadsWhenFirstNeeded) {
    UsbDeviceApi& api = systemUsbDeviceApi();
    EXPECT_TRUE(
        api.presentDevices(WinUsbTowerTransport::kVendor, WinUsbTowerTransport::kProduct).empty());
    HANDLE file = INVALID_HANDLE_VALUE;
    WINUSB_INTERFACE_HANDLE usb = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(api.open(L"\\\\?\\usb#vid_0694&pid_0001#none#" + std::wstring(test::kWinUsbClass),
                          &file, &usb));
    const DWORD error = api.lastError();
    EXPECT_TRUE(error != 0 && error != ERROR_MOD_NOT_FOUND && error != ERROR_PROC_NOT_FOUND)
        << "winusb.dll and every function used were found; then opening failed: " << error;
    EXPECT_EQ(nullptr, file);
    EXPECT_EQ(nullptr, usb);
}
