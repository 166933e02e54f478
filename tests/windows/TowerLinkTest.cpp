// TowerLink.dll through IBrickLink on the VIRTUAL port: status codes from the virtual brick's
// faults, command results, datalog positions and reads, error information, events and unloading;
// and its firmware download (IFirmwareLoader) through the vtable, which script clients call
// late-bound in the firmware download script.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "Bstr.h"
#include "SafeArray.h"
#include "TowerLinkLibrary.h"
#include "UniqueHandle.h"
#include "Variant.h"

namespace kestrel::test {
namespace {

// The 640-byte image the towerlink tool's tests download too, with Windows line ends.
const std::wstring kFirmwareFile = L"" FIRMWARE_TEST_FILE;

std::vector<BYTE> bytesOf(const VARIANT& v) {
    if (V_VT(&v) != (VT_ARRAY | VT_UI1)) return {};
    SAFEARRAY* array = V_ARRAY(&v);
    EXPECT_EQ(0, array->rgsabound[0].lLbound) << "byte arrays are zero-based";
    SafeArrayData<BYTE> data(array);
    return {data.data(), data.data() + array->rgsabound[0].cElements};
}

struct Outcome {
    HRESULT hr = E_FAIL;
    long result = 0;
    long position = 0;
    std::vector<BYTE> bytes;
};

Outcome run(IBrickLink* link, const std::wstring& text, long mode = TOWERLINK_MODE_LASM) {
    Outcome o;
    const long modeGiven = mode;
    Bstr command(text);
    o.result = static_cast<long>(0xdeadbeef);
    Variant reply;
    o.hr = link->ExecuteCommand(command.inOut(), &mode, &o.position, reply.get(), &o.result);
    EXPECT_EQ(text, command.str()) << "the text is never changed";
    EXPECT_EQ(modeGiven, mode) << "the mode is never changed";
    o.bytes = bytesOf(*reply.get());
    return o;
}

class TowerLinkTest : public testing::Test {
protected:
    TowerLinkLibrary library_;
};

// ---- status ----

TEST_F(TowerLinkTest, EachVirtualFaultShowsInStatusAndCommands) {
    // A value longer than any fixed buffer still counts, up to its last setting.
    const std::wstring longValue = std::wstring(1100, L' ') + L"battery=5000";
    const struct {
        const wchar_t* faults;
        long status, towerAnswers;
        HRESULT command;             // what a motor command returns
        const wchar_t* description;  // how its failure's description starts
    } cases[] = {
        {L"notower", TOWERLINK_STATUS_NO_TOWER, 0, towerLinkError(TOWERLINK_E_NO_TOWER),
         L"No tower answers on VIRTUAL"},
        {L"badtower", TOWERLINK_STATUS_BAD_TOWER, 0, towerLinkError(TOWERLINK_E_BAD_TOWER),
         L"Something answers on VIRTUAL"},
        {L"silent", TOWERLINK_STATUS_NO_BRICK, 1, towerLinkError(TOWERLINK_E_NO_BRICK),
         L"The brick does not answer: check that it is on and within reach of the tower"},
        {L"nofirmware", TOWERLINK_STATUS_NO_FIRMWARE, 1, towerLinkError(TOWERLINK_E_NO_FIRMWARE),
         L"No firmware on the brick"},
        {L"battery=5000", TOWERLINK_STATUS_BAD_BATTERY, 1, S_OK, nullptr},
        {L"battery=6000", TOWERLINK_STATUS_READY, 1, S_OK, nullptr},
        {L"noise=100,noiseway=out", TOWERLINK_STATUS_BAD_COMMUNICATION, 1,
         towerLinkError(TOWERLINK_E_BAD_COMMUNICATION), L"The brick's replies arrive damaged"},
        {longValue.c_str(), TOWERLINK_STATUS_BAD_BATTERY, 1, S_OK, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults);
        ComPtr<IBrickLink> link = library_.openVirtual(c.faults);
        EXPECT_EQ(c.status, status(link.get()));
        EXPECT_EQ(c.towerAnswers, info(link.get(), TOWERLINK_INFO_TOWER_ANSWERS));
        const HRESULT command = run(link.get(), L"out 2,1").hr;
        if (c.description)
            EXPECT_EQ(0, library_.expectFailure(command, c.command).rfind(c.description, 0));
        else
            EXPECT_EQ(S_OK, command);
    }
}

TEST_F(TowerLinkTest, StatusFollowsOpenAndCloseAndIsBusyWhileAnotherLinkHoldsThePort) {
    ComPtr<IBrickLink> link = library_.create();
    EXPECT_EQ(TOWERLINK_STATUS_NOT_OPENED, status(link.get()));
    EXPECT_EQ(0, info(link.get(), TOWERLINK_INFO_TOWER_ANSWERS));
    Bstr lower(L"virtual");
    ASSERT_EQ(S_OK, link->OpenPort(lower.get()));
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get()));

    ComPtr<IBrickLink> second = library_.create();
    Bstr port(L"VIRTUAL");
    library_.expectFailure(second->OpenPort(port.get()), towerLinkError(TOWERLINK_E_PORT_BUSY),
                           L"VIRTUAL is in use");
    EXPECT_EQ(TOWERLINK_STATUS_BUSY, status(second.get()));

    ASSERT_EQ(S_OK, link->ClosePort());
    EXPECT_EQ(TOWERLINK_STATUS_NOT_OPENED, status(link.get()));
    EXPECT_EQ(S_OK, link->ClosePort()) << "closing twice is harmless";
    ASSERT_EQ(S_OK, link->OpenPort(port.get()));
    link.reset();
    EXPECT_EQ(S_OK, second->OpenPort(port.get())) << "the port is free once its holder is gone";
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(second.get()));
}

TEST_F(TowerLinkTest, TheBrickKeepsWhatALinkLeftUntilThePortsSettingsChange) {
    // Each link leaves variable 0 one higher than it found it.
    auto found = [&](const wchar_t* faults) {
        ComPtr<IBrickLink> link = library_.openVirtual(faults);
        const long value = run(link.get(), L"poll 0,0").result;
        EXPECT_EQ(S_OK, run(link.get(), L"sumv 0,2,1").hr);
        return value;
    };
    EXPECT_EQ(0, found(L""));
    EXPECT_EQ(1, found(L"")) << "a second link finds what the first left";
    EXPECT_EQ(0, found(L"battery=8000")) << "other settings, another brick";
    EXPECT_EQ(1, found(L"battery=8000"));
    EXPECT_EQ(0, found(L""));
}

TEST_F(TowerLinkTest, LinkSettingIsTheTowerRangeThatSetLinkModeTakesBack) {
    ComPtr<IBrickLink> link = library_.create();
    auto range = [&] { return info(link.get(), TOWERLINK_INFO_LINK_SETTING); };
    EXPECT_EQ(TOWERLINK_RANGE_SHORT, range());
    EXPECT_EQ(S_OK, link->SetLinkMode(TOWERLINK_RANGE_LONG));
    EXPECT_EQ(TOWERLINK_RANGE_LONG, range());
    EXPECT_EQ(S_OK, link->SetLinkMode(TOWERLINK_RANGE_SHORT_OF_TWO));
    EXPECT_EQ(TOWERLINK_RANGE_SHORT, range()) << "short of two is short, and never reported";
    EXPECT_EQ(S_OK, link->SetLinkMode(static_cast<short>(range())));
    library_.expectFailure(link->SetLinkMode(8), towerLinkError(TOWERLINK_E_BAD_LINK_MODE));
    EXPECT_EQ(TOWERLINK_RANGE_SHORT, range());
    long value = 0x1234;
    library_.expectFailure(link->GetInfo(5, &value), towerLinkError(TOWERLINK_E_BAD_ITEM));
    EXPECT_EQ(0, value);
}

// ---- commands ----

TEST_F(TowerLinkTest, CommandsReturnTheAnswerAndReplyBytesOrTheColumnOfTheTextError) {
    ComPtr<IBrickLink> link = library_.openVirtual();
    EXPECT_EQ(S_OK, run(link.get(), L"setv 4,2,-2").hr);
    const Outcome poll = run(link.get(), L"poll 0,4");
    EXPECT_EQ(-2, poll.result);
    EXPECT_EQ((std::vector<BYTE>{0xFE, 0xFF}), poll.bytes) << "low byte first";

    const struct {
        const wchar_t* text;
        long mode;
        TowerLinkErrorCode error;
        long column;
    } cases[] = {{L"sound 9", TOWERLINK_MODE_STATEMENT, TOWERLINK_E_COMMAND_TEXT, 7},
                 {L"ping \u00e9", TOWERLINK_MODE_LASM, TOWERLINK_E_COMMAND_TEXT, 6},
                 {L"ping", 1, TOWERLINK_E_BAD_MODE, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Outcome o = run(link.get(), c.text, c.mode);
        library_.expectFailure(o.hr, towerLinkError(c.error));
        EXPECT_EQ(c.column, o.position);
        EXPECT_EQ(static_cast<long>(0xdeadbeef), o.result) << "no result on failure";
    }
}

// ---- errors ----

TEST_F(TowerLinkTest, EveryFailureCarriesErrorInfoWithItsSectionOfTheErrorReference) {
    std::ifstream file(std::filesystem::path(library_.errorReference()));
    ASSERT_TRUE(file.good()) << "the error reference ships beside the DLL";
    std::stringstream reference;
    reference << file.rdbuf();
    for (int code = TOWERLINK_E_NOT_OPENED; code <= TOWERLINK_E_PROGRAM_DOWNLOAD; ++code) {
        EXPECT_NE(std::string::npos, reference.str().find("id=\"" + std::to_string(code) + "\""))
            << "section " << code;
    }

    ComPtr<IBrickLink> link = library_.create();
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, link.queryInterface(IID_ISupportErrorInfo, support));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IBrickLink));
    Bstr virtualPort(L"VIRTUAL"), missing(L"COM199");
    Variant data;
    auto check = [&](HRESULT returned, TowerLinkErrorCode expected) {
        library_.expectFailure(returned, towerLinkError(expected));
    };
    check(run(link.get(), L"ping").hr, TOWERLINK_E_NOT_OPENED);
    check(link->ReadDatalog(0, 3, data.put()), TOWERLINK_E_NOT_OPENED);
    library_.expectFailure(link->GetInfo(TOWERLINK_INFO_STATUS, nullptr), E_POINTER);
    {
        ScopedEnvironment settings(L"TOWERLINK_VIRTUAL_FAULTS", L"loud");
        check(link->OpenPort(virtualPort.get()), TOWERLINK_E_BAD_VIRTUAL_SETTINGS);
    }
    ASSERT_EQ(S_OK, link->OpenPort(virtualPort.get()));
    check(link->ReadDatalog(-1, 3, data.put()), TOWERLINK_E_BAD_ARGUMENT);
    check(link->OpenPort(missing.get()), TOWERLINK_E_NO_TOWER);
}

// ---- datalog ----

TEST_F(TowerLinkTest, DatalogPositionsCountTheSizeEntryAndReadsRaiseProgressWhileTheLinkIsBusy) {
    ComPtr<IBrickLink> link = library_.openVirtual();
    auto read = [&](long first, long count) {
        Variant data;
        EXPECT_EQ(S_OK, link->ReadDatalog(first, count, data.put()));
        return std::make_pair(data.type(), bytesOf(*data.get()));
    };
    for (long entries : {0L, 1L, 9L, 100L}) {
        SCOPED_TRACE(entries);
        // The datalog cleared to `entries`, then filled with variable 2 holding 7i.
        ASSERT_EQ(S_OK, run(link.get(), L"logz " + std::to_wstring(entries)).hr);
        for (long i = 0; i < entries; ++i) {
            ASSERT_EQ(S_OK, run(link.get(), L"setv 2,2," + std::to_wstring(i * 7)).hr);
            ASSERT_EQ(S_OK, run(link.get(), L"log 0,2").hr);
        }
        long size = -1, count = -1, start = -1, end = -1;
        Variant first, last;
        ASSERT_EQ(S_OK, link->QueryDatalog(&size, &count, &start, &end, first.get(), last.get()));
        EXPECT_EQ((std::vector<long>{3, entries, 0, 3 * (entries + 1)}),
                  (std::vector<long>{size, count, start, end}))
            << "entry size, count, start, end";

        // The size entry (type 0xFF), then each variable 2 entry's type and value, low byte first.
        std::vector<BYTE> expected = {0xFF, BYTE(entries + 1), BYTE((entries + 1) >> 8)};
        for (long i = 0; i < entries; ++i)
            expected.insert(expected.end(), {2, BYTE(i * 7), BYTE(i * 7 >> 8)});
        EXPECT_EQ(expected, read(0, end).second);
    }
    // The log now holds 100 entries: reads past its end are empty, reads of nothing are Empty.
    EXPECT_EQ(std::make_pair(VARTYPE(VT_ARRAY | VT_UI1), std::vector<BYTE>{}), read(303, 3))
        << "nothing past the end";
    EXPECT_EQ(VT_EMPTY, read(3, 0).first);
    EXPECT_EQ(VT_EMPTY, read(3, -3).first);

    // A read raises TransferProgress, and the link is busy meanwhile: the status says so, and
    // closing from inside the progress handler is refused (commands are, in the firmware test).
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    std::vector<long> statuses;
    std::vector<HRESULT> calls;
    sink.onProgress = [&] {
        long during = -1;
        link->GetInfo(TOWERLINK_INFO_STATUS, &during);
        statuses.push_back(during);
        calls.push_back(link->ClosePort());
    };
    EXPECT_EQ(300u, read(3, 300).second.size());
    EXPECT_EQ((std::vector<std::wstring>{L"TransferProgress 50 100", L"TransferProgress 100 100"}),
              sink.heard);
    const HRESULT busy = towerLinkError(TOWERLINK_E_BUSY);
    EXPECT_EQ((std::vector<long>{TOWERLINK_STATUS_TRANSFERRING, TOWERLINK_STATUS_TRANSFERRING}),
              statuses);
    EXPECT_EQ((std::vector<HRESULT>{busy, busy}), calls);
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get())) << "the link works after the transfer";
    unadvise(link.get(), cookie);
}

// ---- events and lifetime ----

TEST_F(TowerLinkTest, EventsComeThroughTheLinksOneConnectionPointAndTheDllUnloadsOnceAllIsGone) {
    ScopedEnvironment settings(L"TOWERLINK_VIRTUAL_FAULTS", L"message=42");
    ComPtr<IBrickLink> link = library_.create();
    {
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(S_OK, link.queryInterface(IID_IConnectionPointContainer, container));
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID__IBrickLinkEvents, point.put()));
        ComPtr<IConnectionPointContainer> back;
        ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.put()));
        EXPECT_EQ(container.get(), back.get());
        ComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.put()));
        IConnectionPoint* listed[2] = {};
        ULONG fetched = 0;
        EXPECT_EQ(S_FALSE, points->Next(2, listed, &fetched));
        ASSERT_EQ(1u, fetched);
        EXPECT_EQ(point.get(), listed[0]);
        listed[0]->Release();
    }

    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    Bstr port(L"VIRTUAL");
    ASSERT_EQ(S_OK, link->OpenPort(port.get()));
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get()));
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get()));
    Variant data;
    EXPECT_EQ(S_OK, link->ReadDatalog(0, 3, data.put()));
    ASSERT_EQ(S_OK, link->ClosePort());
    EXPECT_EQ(
        (std::vector<std::wstring>{L"StatusChanged 1", L"MessageReceived 42", L"StatusChanged 3"}),
        sink.heard);
    EXPECT_EQ(S_FALSE, library_.canUnloadNow());
    unadvise(link.get(), cookie);
    EXPECT_EQ(1u, sink.refs()) << "the link let go of the sink";
    EXPECT_EQ(0u, link.release()->Release()) << "the last Release returns 0";
    EXPECT_EQ(S_OK, library_.canUnloadNow());
}

TEST_F(TowerLinkTest, ExecuteCommandOutlivesAReplyHoldingItsLastReference) {
    // The brick's message arrives during the exchange and is raised after the reply is written.
    IBrickLink* link = library_.openVirtual(L"message=42").release();
    RecordingEventSink sink;
    advise(link, &sink);
    VARIANT reply;
    V_VT(&reply) = VT_UNKNOWN;
    V_UNKNOWN(&reply) = link;
    Bstr command(L"ping");
    long mode = TOWERLINK_MODE_LASM, position = 0, result = 0;
    EXPECT_EQ(S_OK, link->ExecuteCommand(command.inOut(), &mode, &position, &reply, &result));
    EXPECT_EQ((VT_ARRAY | VT_UI1), V_VT(&reply));
    VariantClear(&reply);
    EXPECT_EQ(std::vector<std::wstring>{L"MessageReceived 42"}, sink.heard);
    EXPECT_EQ(1u, sink.refs()) << "the link went when its call ended, and let its sink go";
}

TEST_F(TowerLinkTest, PortNameComesFromTheEnvironmentFirstAndUsbLast) {
    ComPtr<IBrickLink> link = library_.create();
    Bstr name(L"previous");
    {
        ScopedEnvironment port(L"TOWERLINK_PORT", L"COM7");
        ASSERT_EQ(S_OK, link->GetPortName(name.inOut()));
        EXPECT_EQ(L"COM7", name.str());
    }
    // Then the registry's value, as the towerlink tool's port command sets and shows it; else USB.
    ScopedEnvironment noPort(L"TOWERLINK_PORT", nullptr);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\TowerLink", L"Port");
    ASSERT_EQ(S_OK, link->GetPortName(name.inOut()));
    EXPECT_EQ(L"USB", name.str());
    library_.expectFailure(link->OpenPort(name.get()), towerLinkError(TOWERLINK_E_NO_TOWER),
                           L"No USB tower");
}

TEST_F(TowerLinkTest, ARegistryPortValueThatIsNoPortIsRefusedByNameNotTakenForUsb) {
    const std::wstring longName = L"COM1" + std::wstring(300, L'0');
    const DWORD number = 1;
    const BYTE bytes[] = {0x0C, 0x01};
    const struct {
        DWORD type;
        const void* data;
        std::size_t size;
        std::wstring name;  // what GetPortName reports, and OpenPort refuses
    } cases[] = {
        {REG_SZ, L"COM1 ", 12, L"COM1 "},
        {REG_SZ, longName.c_str(), (longName.size() + 1) * sizeof(wchar_t), longName},
        {REG_DWORD, &number, sizeof(number), L"1"},
        {REG_BINARY, bytes, sizeof(bytes), L"0C01"},
    };
    ScopedEnvironment noPort(L"TOWERLINK_PORT", nullptr);
    ComPtr<IBrickLink> link = library_.create();
    for (const auto& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\TowerLink", L"Port",
                                                 c.type, c.data, static_cast<DWORD>(c.size)));
        Bstr name;
        ASSERT_EQ(S_OK, link->GetPortName(name.inOut()));
        EXPECT_EQ(c.name, name.str());
        library_.expectFailure(link->OpenPort(name.get()), towerLinkError(TOWERLINK_E_UNKNOWN_PORT),
                               (L"'" + c.name + L"' is not a port").c_str());
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\TowerLink", L"Port");
}

TEST_F(TowerLinkTest, RegistrationRecordsOnlyItsOwnKeysAndRemovesThem) {
    wchar_t classId[40] = {};
    ASSERT_GT(StringFromGUID2(CLSID_TowerLink, classId, 40), 0);
    const std::wstring path = L"CLSID\\" + std::wstring(classId) + L"\\InprocServer32";
    const wchar_t* key = path.c_str();
    ASSERT_EQ(S_OK, library_.registerServer());
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CLASSES_ROOT, key, L"ThreadingModel", RRF_RT_REG_SZ,
                                          nullptr, value, &size));
    EXPECT_STREQ(L"Apartment", value);

    ASSERT_EQ(S_OK, library_.unregisterServer());
    RegistryKey opened;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, opened.put()));
    // The ProgID that script clients create the link by goes with the class.
    CLSID clsid{};
    EXPECT_NE(S_OK, CLSIDFromProgID(L"TowerLink.BrickLink", &clsid));
}

// ---- firmware ----

TEST_F(TowerLinkTest, DownloadFirmwarePutsItOnABrickWithoutAndReportsProgressInBytes) {
    ComPtr<IBrickLink> link = library_.openVirtual(L"nofirmware");
    RecordingEventSink sink;
    const DWORD cookie = advise(link.get(), &sink);
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    // Calls during the download are refused, naming it.
    sink.onProgress = [&] {
        library_.expectFailure(run(link.get(), L"ping").hr, towerLinkError(TOWERLINK_E_BUSY),
                               L"busy downloading firmware");
    };
    Bstr path(kFirmwareFile);
    ASSERT_EQ(S_OK, loader->DownloadFirmware(path.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"TransferProgress 0 640", L"TransferProgress 200 640",
                                         L"TransferProgress 400 640", L"TransferProgress 600 640",
                                         L"TransferProgress 640 640"}),
              sink.heard);
    unadvise(link.get(), cookie);
    EXPECT_EQ(TOWERLINK_STATUS_READY, status(link.get())) << "the firmware runs";
}

TEST_F(TowerLinkTest, DownloadFirmwareFailuresCarryTheirNumbersAndNameWhatFailed) {
    ComPtr<IBrickLink> link = library_.openVirtual(L"silent");
    ComPtr<IFirmwareLoader> loader;
    ASSERT_EQ(S_OK, link.queryInterface(IID_IFirmwareLoader, loader));
    Bstr missing(L"C:\\no-such-folder\\firm0328.lgo"), notFirmware(library_.errorReference()),
        good(kFirmwareFile);
    library_.expectFailure(loader->DownloadFirmware(missing.get()),
                           towerLinkError(TOWERLINK_E_BAD_FIRMWARE_FILE), L"no-such-folder");
    library_.expectFailure(loader->DownloadFirmware(notFirmware.get()),
                           towerLinkError(TOWERLINK_E_BAD_FIRMWARE_FILE),
                           L"line 1: not an S-record");
    // Windows would open the file before the NUL: another one than the one named.
    Bstr beforeNul(kFirmwareFile + L'\0' + L".missing");
    library_.expectFailure(loader->DownloadFirmware(beforeNul.get()),
                           towerLinkError(TOWERLINK_E_BAD_FIRMWARE_FILE), L"after a NUL");
    library_.expectFailure(loader->DownloadFirmware(good.get()),
                           towerLinkError(TOWERLINK_E_FIRMWARE_DOWNLOAD),
                           L"Nothing was changed on the brick");
}

}  // namespace
}  // namespace kestrel::test
