// TowerLink.dll through IBrickLink on the VIRTUAL port: status codes from the virtual brick's
// faults, command results, datalog positions and reads, error information, events and unloading.
#include <gtest/gtest.h>
#include <olectl.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "Bstr.h"
#include "ComError.h"
#include "TowerLinkLibrary.h"
#include "Variant.h"

namespace kestrel::test {
namespace {

constexpr HRESULT towerLinkError(unsigned code) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, code);
}
constexpr HRESULT kNotOpened = towerLinkError(0x201);
constexpr HRESULT kUnknownPort = towerLinkError(0x202);
constexpr HRESULT kPortBusy = towerLinkError(0x203);
constexpr HRESULT kNoBrick = towerLinkError(0x206);
constexpr HRESULT kNoFirmware = towerLinkError(0x207);
constexpr HRESULT kCommandText = towerLinkError(0x209);
constexpr HRESULT kBadMode = towerLinkError(0x20A);
constexpr HRESULT kBadItem = towerLinkError(0x20B);
constexpr HRESULT kBadLinkMode = towerLinkError(0x20C);
constexpr HRESULT kBusy = towerLinkError(0x20D);
constexpr HRESULT kBadArgument = towerLinkError(0x20E);
constexpr HRESULT kBadVirtualSettings = towerLinkError(0x20F);

struct Outcome {
    HRESULT hr = E_FAIL;
    long result = 0;
    long position = 0;
    VARTYPE replyType = VT_EMPTY;
    std::vector<BYTE> bytes;
};

std::vector<BYTE> bytesOf(const VARIANT& v) {
    std::vector<BYTE> bytes;
    if (V_VT(&v) != (VT_ARRAY | VT_UI1)) return bytes;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(V_ARRAY(&v), 1, &lower);
    SafeArrayGetUBound(V_ARRAY(&v), 1, &upper);
    EXPECT_EQ(0, lower) << "byte arrays are zero-based";
    for (LONG i = lower; i <= upper; ++i) {
        BYTE b = 0;
        SafeArrayGetElement(V_ARRAY(&v), &i, &b);
        bytes.push_back(b);
    }
    return bytes;
}

Outcome run(IBrickLink* link, const wchar_t* text, long mode = 2) {
    Outcome o;
    const long modeGiven = mode;
    Bstr command(text);
    long position = 0;
    o.result = static_cast<long>(0xdeadbeef);
    Variant reply;
    o.hr = link->ExecuteCommand(command.inOut(), &mode, &position, reply.get(), &o.result);
    EXPECT_EQ(std::wstring(text), command.str()) << "the text is never changed";
    EXPECT_EQ(modeGiven, mode) << "the mode is never changed";
    o.position = position;
    o.replyType = reply.type();
    o.bytes = bytesOf(*reply.get());
    return o;
}

struct ErrorRecord {
    std::wstring description, source, helpFile;
    DWORD helpContext = 0;
};

ErrorRecord takeError() {
    ErrorRecord r;
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.put()) != S_OK || !error) return r;
    Bstr text;
    error->GetDescription(text.put());
    r.description = text.str();
    error->GetSource(text.put());
    r.source = text.str();
    error->GetHelpFile(text.put());
    r.helpFile = text.str();
    error->GetHelpContext(&r.helpContext);
    return r;
}

class TowerLinkTest : public testing::Test {
protected:
    // A link with the VIRTUAL port open, its virtual brick set up by `faults`.
    ComPtr<IBrickLink> openVirtual(const wchar_t* faults = L"") {
        return library_.openVirtual(faults);
    }

    TowerLinkLibrary library_;
};

// ---- status ----

TEST_F(TowerLinkTest, StatusReportsEachVirtualFaultWithItsCode) {
    // A value longer than any fixed buffer still counts, up to its last setting.
    const std::wstring longValue = std::wstring(1100, L' ') + L"battery=5000";
    const struct {
        const wchar_t* faults;
        long status;
        long towerAnswers;
    } cases[] = {
        {L"", 1, 1},
        {L"notower", 4, 0},
        {L"badtower", 5, 0},
        {L"silent", 6, 1},
        {L"nofirmware", 7, 1},
        {L"battery=5000", 8, 1},
        {L"battery=6000", 1, 1},
        {L"noise=100,noiseway=out", 11, 1},
        {longValue.c_str(), 8, 1},
    };
    for (const auto& c : cases) {
        ComPtr<IBrickLink> link = openVirtual(c.faults);
        EXPECT_EQ(c.status, info(link.get(), 3))
            << std::string(c.faults, c.faults + wcslen(c.faults));
        EXPECT_EQ(c.towerAnswers, info(link.get(), 4));
    }
}

TEST_F(TowerLinkTest, StatusIsNotOpenedBeforeOpenPortAndAfterClosePort) {
    ComPtr<IBrickLink> link = library_.create();
    EXPECT_EQ(3, info(link.get(), 3));
    EXPECT_EQ(0, info(link.get(), 4));
    Bstr port(L"virtual");
    ASSERT_EQ(S_OK, link->OpenPort(port.get()));
    EXPECT_EQ(1, info(link.get(), 3));
    ASSERT_EQ(S_OK, link->ClosePort());
    EXPECT_EQ(3, info(link.get(), 3));
    EXPECT_EQ(S_OK, link->ClosePort()) << "closing twice is harmless";
}

TEST_F(TowerLinkTest, StatusIsBusyWhileAnotherLinkHoldsThePort) {
    ComPtr<IBrickLink> holder = openVirtual();
    ComPtr<IBrickLink> second = library_.create();
    Bstr port(L"VIRTUAL");
    EXPECT_EQ(kPortBusy, second->OpenPort(port.get()));
    EXPECT_NE(std::wstring::npos, takeError().description.find(L"VIRTUAL is in use"));
    EXPECT_EQ(12, info(second.get(), 3));
    holder.reset();
    EXPECT_EQ(S_OK, second->OpenPort(port.get())) << "the port is free once its holder is gone";
    EXPECT_EQ(1, info(second.get(), 3));
}

TEST_F(TowerLinkTest, StatusIsZeroAndCallsAreBusyDuringADatalogTransfer) {
    ComPtr<IBrickLink> link = openVirtual();
    ASSERT_EQ(S_OK, run(link.get(), L"logz 60").hr);
    for (int i = 0; i < 60; ++i) ASSERT_EQ(S_OK, run(link.get(), L"log 0,1").hr);
    RecordingEventSink sink;
    struct Probe {
        IBrickLink* link;
        std::vector<long> statuses;
        std::vector<HRESULT> commands;
    } probe{link.get(), {}, {}};
    sink.progressContext = &probe;
    sink.onProgress = [](void* context) {
        auto* p = static_cast<Probe*>(context);
        long status = -1;
        p->link->GetInfo(3, &status);
        p->statuses.push_back(status);
        p->commands.push_back(run(p->link, L"ping").hr);
        p->commands.push_back(p->link->ClosePort());
    };
    const DWORD cookie = advise(link.get(), &sink);
    Variant data;
    ASSERT_EQ(S_OK, link->ReadDatalog(0, 183, data.put()));
    EXPECT_EQ(183u, bytesOf(*data.get()).size());
    EXPECT_EQ((std::vector<long>{0, 0}), probe.statuses);
    EXPECT_EQ((std::vector<HRESULT>{kBusy, kBusy, kBusy, kBusy}), probe.commands);
    EXPECT_EQ(1, info(link.get(), 3)) << "the link works as before after the transfer";
    unadvise(link.get(), cookie);
}

TEST_F(TowerLinkTest, LinkSettingIsTheTowerRangeThatSetLinkModeTakesBack) {
    ComPtr<IBrickLink> link = library_.create();
    EXPECT_EQ(6, info(link.get(), 6));
    EXPECT_EQ(S_OK, link->SetLinkMode(7));
    EXPECT_EQ(7, info(link.get(), 6));
    EXPECT_EQ(S_OK, link->SetLinkMode(5));
    EXPECT_EQ(6, info(link.get(), 6)) << "5 is short range and never reported";
    EXPECT_EQ(S_OK, link->SetLinkMode(static_cast<short>(info(link.get(), 6))));
    EXPECT_EQ(kBadLinkMode, link->SetLinkMode(8));
    EXPECT_EQ(6, info(link.get(), 6));
    long value = 0x1234;
    EXPECT_EQ(kBadItem, link->GetInfo(5, &value));
    EXPECT_EQ(0, value);
}

// ---- commands ----

TEST_F(TowerLinkTest, PingAnswersOneOrZeroAndNeverFails) {
    ComPtr<IBrickLink> link = openVirtual();
    Outcome ping = run(link.get(), L"ping");
    EXPECT_EQ(S_OK, ping.hr);
    EXPECT_EQ(1, ping.result);
    EXPECT_EQ(VT_ARRAY | VT_UI1, ping.replyType);
    EXPECT_TRUE(ping.bytes.empty());

    link.reset();
    link = openVirtual(L"silent");
    ping = run(link.get(), L"ping");
    EXPECT_EQ(S_OK, ping.hr);
    EXPECT_EQ(0, ping.result);
}

TEST_F(TowerLinkTest, CommandsReturnTheNumericAnswerAndTheReplyBytes) {
    ComPtr<IBrickLink> link = openVirtual(L"battery=8765");
    EXPECT_EQ(S_OK, run(link.get(), L"setv 3,2,100").hr);
    Outcome poll = run(link.get(), L"poll 0,3");
    EXPECT_EQ(100, poll.result);
    EXPECT_EQ((std::vector<BYTE>{100, 0}), poll.bytes);

    EXPECT_EQ(S_OK, run(link.get(), L"setv 4,2,-2").hr);
    poll = run(link.get(), L"poll 0,4");
    EXPECT_EQ(-2, poll.result);
    EXPECT_EQ((std::vector<BYTE>{0xFE, 0xFF}), poll.bytes);

    Outcome battery = run(link.get(), L"pollb");
    EXPECT_EQ(8765, battery.result);
    EXPECT_EQ((std::vector<BYTE>{8765 & 0xFF, 8765 >> 8}), battery.bytes) << "low byte first";

    for (const wchar_t* text :
         {L"out 2,1", L"dir 0,1", L"pwr 1,2,5", L"playt 1000,100", L"setw 12,30", L"disp 0,2,42",
          L"sent 0,1", L"senm 1,4,0", L"prgm 0", L"logz 99"}) {
        Outcome o = run(link.get(), text);
        EXPECT_EQ(S_OK, o.hr) << std::string(text, text + wcslen(text));
        EXPECT_EQ(VT_ARRAY | VT_UI1, o.replyType);
    }
    Outcome sound = run(link.get(), L"Sound 3", 0);
    EXPECT_EQ(S_OK, sound.hr);
    EXPECT_TRUE(sound.bytes.empty()) << "a reply without data is an empty array";
}

TEST_F(TowerLinkTest, TextErrorWritesTheColumnAndFailsWithTheParserMessage) {
    ComPtr<IBrickLink> link = openVirtual();
    const struct {
        const wchar_t* text;
        long mode;
        long column;
    } cases[] = {{L"pwr 1,2,9", 2, 9}, {L"out 2,x", 2, 7}, {L"jump 3", 2, 1},
                 {L"sound 9", 0, 7},   {L"", 2, 1},        {L"ping \u00e9", 2, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + wcslen(c.text)));
        Outcome o = run(link.get(), c.text, c.mode);
        EXPECT_EQ(kCommandText, o.hr);
        EXPECT_EQ(c.column, o.position);
        EXPECT_EQ(static_cast<long>(0xdeadbeef), o.result) << "no result on failure";
        const ErrorRecord error = takeError();
        EXPECT_FALSE(error.description.empty());
        EXPECT_EQ(L"TowerLink", error.source);
    }
    Outcome wrongMode = run(link.get(), L"ping", 1);
    EXPECT_EQ(kBadMode, wrongMode.hr);
    EXPECT_EQ(0, wrongMode.position);
}

TEST_F(TowerLinkTest, CommandFailuresSayWhatToDo) {
    const struct {
        const wchar_t* faults;
        HRESULT number;
        const wchar_t* description;
    } cases[] = {
        {L"silent", kNoBrick,
         L"The brick does not answer: check that it is on and within reach of the tower"},
        {L"nofirmware", kNoFirmware, L"No firmware on the brick"},
        {L"notower", towerLinkError(0x204), L"No tower answers on VIRTUAL"},
        {L"badtower", towerLinkError(0x205), L"Something answers on VIRTUAL"},
        {L"noise=100,noiseway=out", towerLinkError(0x208), L"The brick's replies arrive damaged"},
    };
    for (const auto& c : cases) {
        ComPtr<IBrickLink> link = openVirtual(c.faults);
        Outcome o = run(link.get(), L"out 2,1");
        EXPECT_EQ(c.number, o.hr);
        EXPECT_EQ(0, takeError().description.rfind(c.description, 0))
            << std::string(c.faults, c.faults + wcslen(c.faults));
    }
}

// ---- errors ----

TEST_F(TowerLinkTest, EveryFailureCarriesErrorInfoWithTheErrorReference) {
    ComPtr<IBrickLink> link = library_.create();
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, link.queryInterface(IID_ISupportErrorInfo, support));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IBrickLink));

    Bstr unknown(L"LPT1");
    Bstr virtualPort(L"VIRTUAL");
    long value = 0;
    Variant data;
    const std::wstring reference = library_.folder() + L"TowerLink-errors.html";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(reference.c_str()))
        << "the error reference ships beside the DLL";
    auto check = [&](HRESULT returned, HRESULT expected) {
        EXPECT_EQ(expected, returned);
        const ErrorRecord error = takeError();
        EXPECT_EQ(L"TowerLink", error.source);
        EXPECT_EQ(reference, error.helpFile);
        EXPECT_FALSE(error.description.empty());
        EXPECT_EQ(static_cast<DWORD>(HRESULT_CODE(expected)), error.helpContext);
    };
    check(link->SetLinkMode(0), kBadLinkMode);
    check(run(link.get(), L"ping", 3).hr, kBadMode);
    check(link->GetInfo(1, &value), kBadItem);
    check(run(link.get(), L"pwr 1,2,8").hr, kCommandText);
    check(link->OpenPort(unknown.get()), kUnknownPort);
    check(run(link.get(), L"ping").hr, kNotOpened);
    check(link->ReadDatalog(0, 3, data.put()), kNotOpened);
    check(link->GetInfo(3, nullptr), E_POINTER);
    {
        ScopedEnvironment settings(L"TOWERLINK_VIRTUAL_FAULTS", L"loud");
        check(link->OpenPort(virtualPort.get()), kBadVirtualSettings);
    }
    ASSERT_EQ(S_OK, link->OpenPort(virtualPort.get()));
    check(link->ReadDatalog(-1, 3, data.put()), kBadArgument);
    {
        ComPtr<IBrickLink> second = library_.create();
        check(second->OpenPort(virtualPort.get()), kPortBusy);
    }
    ASSERT_EQ(S_OK, link->ClosePort());
    ComPtr<IBrickLink> silent = openVirtual(L"silent");
    check(run(silent.get(), L"out 2,1").hr, kNoBrick);
    Bstr missing(L"COM199");
    check(silent->OpenPort(missing.get()), towerLinkError(0x204));
}

TEST_F(TowerLinkTest, ErrorReferenceHasASectionForEveryNumber) {
    std::ifstream file(std::filesystem::path(library_.folder() + L"TowerLink-errors.html"));
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    for (unsigned code = 0x201; code <= 0x211; ++code) {
        EXPECT_NE(std::string::npos, text.str().find("id=\"" + std::to_string(code) + "\""))
            << "section " << code;
    }
}

// ---- datalog ----

TEST_F(TowerLinkTest, DatalogPositionsCountTheSizeEntry) {
    ComPtr<IBrickLink> link = openVirtual();
    for (long entries : {0L, 1L, 9L, 100L}) {
        ASSERT_EQ(S_OK, run(link.get(), (L"logz " + std::to_wstring(entries)).c_str()).hr);
        for (long i = 0; i < entries; ++i) {
            ASSERT_EQ(S_OK, run(link.get(), (L"setv 2,2," + std::to_wstring(i * 7)).c_str()).hr);
            ASSERT_EQ(S_OK, run(link.get(), L"log 0,2").hr);
        }
        long size = -1, count = -1, start = -1, end = -1;
        Variant first, last;
        ASSERT_EQ(S_OK, link->QueryDatalog(&size, &count, &start, &end, first.get(), last.get()));
        EXPECT_EQ(3, size);
        EXPECT_EQ(entries, count);
        EXPECT_EQ(0, start);
        EXPECT_EQ(3 * (entries + 1), end);

        Variant data;
        ASSERT_EQ(S_OK, link->ReadDatalog(0, end, data.put()));
        const std::vector<BYTE> bytes = bytesOf(*data.get());
        ASSERT_EQ(static_cast<std::size_t>(end), bytes.size());
        EXPECT_EQ(0xFF, bytes[0]);
        EXPECT_EQ(entries + 1, bytes[1] | (bytes[2] << 8));
        for (long i = 0; i < entries; ++i) {
            EXPECT_EQ(2, bytes[3 + 3 * i]) << "type of a variable 2 entry";
            EXPECT_EQ(i * 7, bytes[4 + 3 * i] | (bytes[5 + 3 * i] << 8));
        }
    }
}

TEST_F(TowerLinkTest, ReadDatalogReturnsExactlyTheBytesAskedFor) {
    ComPtr<IBrickLink> link = openVirtual();
    ASSERT_EQ(S_OK, run(link.get(), L"logz 9").hr);
    for (int i = 1; i <= 9; ++i) {
        ASSERT_EQ(S_OK, run(link.get(), (L"setv 0,2," + std::to_wstring(i)).c_str()).hr);
        ASSERT_EQ(S_OK, run(link.get(), L"log 0,0").hr);
    }
    auto read = [&](long first, long count) {
        Variant data;
        EXPECT_EQ(S_OK, link->ReadDatalog(first, count, data.put()));
        return std::make_pair(data.type(), bytesOf(*data.get()));
    };
    EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 2, 0}), read(4, 5).second) << "from inside an entry";
    EXPECT_EQ((std::vector<BYTE>{9, 0}), read(28, 10).second) << "fewer at the end";
    EXPECT_EQ(VT_ARRAY | VT_UI1, read(30, 3).first);
    EXPECT_TRUE(read(30, 3).second.empty()) << "nothing past the end";
    EXPECT_EQ(VT_EMPTY, read(3, 0).first);
    EXPECT_EQ(VT_EMPTY, read(3, -3).first);
}

TEST_F(TowerLinkTest, ReadDatalogRaisesTransferProgress) {
    ComPtr<IBrickLink> link = openVirtual();
    ASSERT_EQ(S_OK, run(link.get(), L"logz 100").hr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(S_OK, run(link.get(), L"log 1,0").hr);
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    Variant data;
    ASSERT_EQ(S_OK, link->ReadDatalog(3, 300, data.put()));
    EXPECT_EQ((std::vector<std::wstring>{L"TransferProgress 50 100", L"TransferProgress 100 100"}),
              sink.heard);
    unadvise(link.get(), cookie);
}

// ---- events and lifetime ----

TEST_F(TowerLinkTest, StatusChangedAndMessageReceivedAreRaisedWhereTheyHappen) {
    ScopedEnvironment settings(L"TOWERLINK_VIRTUAL_FAULTS", L"message=42");
    ComPtr<IBrickLink> link = library_.create();
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    Bstr port(L"VIRTUAL");
    ASSERT_EQ(S_OK, link->OpenPort(port.get()));
    EXPECT_EQ(1, info(link.get(), 3));
    EXPECT_EQ(1, info(link.get(), 3));
    ASSERT_EQ(S_OK, link->ClosePort());
    EXPECT_EQ(
        (std::vector<std::wstring>{L"StatusChanged 1", L"MessageReceived 42", L"StatusChanged 3"}),
        sink.heard);
    unadvise(link.get(), cookie);
    EXPECT_EQ(1u, sink.refs()) << "the link let go of the sink";
}

TEST_F(TowerLinkTest, ConnectionPointBelongsToTheLink) {
    ComPtr<IBrickLink> link = library_.create();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IConnectionPointContainer, container));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IDispatch, point.put()));
    ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID__IBrickLinkEvents, point.put()));
    IID iid{};
    EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_EQ(DIID__IBrickLinkEvents, iid);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.put()));
    EXPECT_EQ(container.get(), back.get());
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(77));

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.put()));
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, points->Next(2, listed, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(point.get(), listed[0]);
    listed[0]->Release();

    // The advised sinks are listed under their cookies, each with a reference of its own.
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, point->EnumConnections(connections.put()));
    CONNECTDATA data[2] = {};
    EXPECT_EQ(S_FALSE, connections->Next(2, data, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(cookie, data[0].dwCookie);
    data[0].pUnk->Release();
    connections.reset();
    unadvise(link.get(), cookie);
    EXPECT_EQ(1u, sink.refs()) << "the list let go of the sink";
}

TEST_F(TowerLinkTest, DllCanUnloadOnceEverythingIsReleased) {
    {
        ComPtr<IBrickLink> link = openVirtual();
        RecordingEventSink sink;
        const DWORD cookie = advise(link.get(), &sink);
        EXPECT_EQ(1, info(link.get(), 3));
        Variant data;
        EXPECT_EQ(S_OK, link->ReadDatalog(0, 3, data.put()));
        EXPECT_EQ(S_FALSE, library_.canUnloadNow());
        unadvise(link.get(), cookie);
        EXPECT_EQ(S_OK, link->ClosePort());
        EXPECT_EQ(0u, link.release()->Release()) << "the last Release returns 0";
    }
    EXPECT_EQ(S_OK, library_.canUnloadNow());
}

TEST_F(TowerLinkTest, ExecuteCommandOutlivesAReplyHoldingItsLastReference) {
    // The brick's message arrives during the exchange and is raised after the reply is written.
    IBrickLink* link = openVirtual(L"message=42").release();
    RecordingEventSink sink;
    advise(link, &sink);
    VARIANT reply;
    V_VT(&reply) = VT_UNKNOWN;
    V_UNKNOWN(&reply) = link;
    Bstr command(L"ping");
    long mode = 2, position = 0, result = 0;
    EXPECT_EQ(S_OK, link->ExecuteCommand(command.inOut(), &mode, &position, &reply, &result));
    EXPECT_EQ((VT_ARRAY | VT_UI1), V_VT(&reply));
    VariantClear(&reply);
    EXPECT_EQ(std::vector<std::wstring>{L"MessageReceived 42"}, sink.heard);
    EXPECT_EQ(1u, sink.refs()) << "the link went when its call ended, and let its sink go";
    EXPECT_EQ(S_OK, library_.canUnloadNow());
}

TEST_F(TowerLinkTest, PortNameComesFromTheEnvironmentThenTheRegistryElseUsb) {
    ComPtr<IBrickLink> link = library_.create();
    Bstr name(L"previous");
    {
        ScopedEnvironment port(L"TOWERLINK_PORT", L"COM7");
        ASSERT_EQ(S_OK, link->GetPortName(name.inOut()));
        EXPECT_EQ(L"COM7", name.str());
    }
    ScopedEnvironment noPort(L"TOWERLINK_PORT", nullptr);
    HKEY settings = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TowerLink", 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &settings, nullptr));
    const wchar_t configured[] = L"COM3";
    RegSetValueExW(settings, L"Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(configured),
                   sizeof(configured));
    ASSERT_EQ(S_OK, link->GetPortName(name.inOut()));
    EXPECT_EQ(L"COM3", name.str()) << "the registry, when the environment says nothing";
    RegDeleteValueW(settings, L"Port");
    RegCloseKey(settings);
    ASSERT_EQ(S_OK, link->GetPortName(name.inOut()));
    EXPECT_EQ(L"USB", name.str());
    Bstr missingTower(L"USB");
    EXPECT_EQ(towerLinkError(0x204), link->OpenPort(missingTower.get()));
    EXPECT_NE(std::wstring::npos, takeError().description.find(L"No USB tower"));
}

TEST_F(TowerLinkTest, RegistrationRecordsOnlyItsOwnKeysAndRemovesThem) {
    const wchar_t* key = L"CLSID\\{A8C50762-C3C0-4254-B181-3CD173C997BC}\\InprocServer32";
    ASSERT_EQ(S_OK, library_.registerServer());
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened));
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(opened, L"ThreadingModel", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(value), &size));
    EXPECT_STREQ(L"Apartment", value);
    RegCloseKey(opened);
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"TowerLink.BrickLink", &clsid));
    EXPECT_EQ(CLSID_TowerLink, clsid);

    ASSERT_EQ(S_OK, library_.unregisterServer());
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened));
    EXPECT_NE(S_OK, CLSIDFromProgID(L"TowerLink.BrickLink", &clsid));
}

}  // namespace
}  // namespace kestrel::test
