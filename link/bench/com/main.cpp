// TowerLinkBench: what TowerLink costs a COM client. Loads Kestrel.ocx and TowerLink.dll from its
// own folder (no registration needed: TowerLink's class is served to Kestrel's CoCreateInstance
// from this process) and times
//   - calls per second from C++ through RcxPilot's vtable, Kestrel and TowerLink to the
//     in-process virtual brick (VIRTUAL, unpaced): the software's own overhead, and the same
//     calls straight into IBrickLink for comparison;
//   - with a serial port as argument (a paced virtual brick behind it), the round trip of Onn
//     against the wire time of its request and reply at 2400 baud.
// Usage: TowerLinkBench [calls]            the VIRTUAL figures
//        TowerLinkBench COMn [calls]       the serial-line figures for Onn on COMn
#include <windows.h>
#include <IBrickLink.h>
#include <kestrel_tlb.h>
#include <towerlink_tlb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bstr.h"
#include "ComError.h"
#include "ComPtr.h"
#include "ProcAddress.h"
#include "ThreadApartment.h"
#include "Variant.h"

using kestrel::Bstr;
using kestrel::ComPtr;

namespace {

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using Clock = std::chrono::steady_clock;

// Wire bytes of "out 2,1": a 2-byte request payload and a reply without data, 11 bits a byte.
constexpr double kOnnWireMs = (9 + 7) * 11 * 1000.0 / 2400;

ComPtr<IClassFactory> factory(const wchar_t* file, REFCLSID clsid) {
    HMODULE module = LoadLibraryW(file);
    if (!module) throw kestrel::ComError(HRESULT_FROM_WIN32(GetLastError()), file);
    auto get = kestrel::procAddress<GetClassObject>(module, "DllGetClassObject");
    ComPtr<IClassFactory> result;
    kestrel::throwIfFailed(get(clsid, IID_IClassFactory, result.putVoid()));
    return result;
}

template <class Call>
double perSecond(int calls, Call call) {
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i) kestrel::throwIfFailed(call());
    const std::chrono::duration<double> took = Clock::now() - start;
    return calls / took.count();
}

int run(int argc, wchar_t** argv) {
    std::wstring port = L"VIRTUAL";
    int calls = 2000;
    for (int i = 1; i < argc; ++i) {
        if (iswdigit(argv[i][0]))
            calls = std::max(1, _wtoi(argv[i]));
        else
            port = argv[i];
    }
    SetEnvironmentVariableW(L"TOWERLINK_PORT", port.c_str());

    ComPtr<IClassFactory> towerLink = factory(L"TowerLink.dll", CLSID_TowerLink);
    DWORD cookie = 0;
    kestrel::throwIfFailed(CoRegisterClassObject(
        CLSID_TowerLink, towerLink.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    ComPtr<IClassFactory> kestrelFactory = factory(L"Kestrel.ocx", CLSID_RcxPilot);
    ComPtr<_RcxPilot> pilot;
    kestrel::throwIfFailed(kestrelFactory->CreateInstance(nullptr, IID__RcxPilot, pilot.putVoid()));
    VARIANT_BOOL alive = VARIANT_FALSE;
    kestrel::throwIfFailed(pilot->PBAliveOrNot(&alive));
    if (alive != VARIANT_TRUE) throw kestrel::ComError(E_FAIL, L"the brick does not answer");

    short motors = 1, source = 0, variable = 3;
    if (port != L"VIRTUAL") {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i) kestrel::throwIfFailed(pilot->Onn(&motors));
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        const double each = took.count() / calls;
        std::printf("| Onn over %ls (%d calls) | %.1f | %.1f | %.3f |\n", port.c_str(), calls,
                    kOnnWireMs, each, each / kOnnWireMs);
        pilot.reset();
        CoRevokeClassObject(cookie);
        return each / kOnnWireMs <= 1.15 ? 0 : 1;
    }

    long value = 0;
    short battery = 0;
    std::printf("| path | call | calls per second |\n|---|---|---:|\n");
    std::printf("| Kestrel + TowerLink | `Onn 1` | %.0f |\n",
                perSecond(calls, [&] { return pilot->Onn(&motors); }));
    std::printf("| Kestrel + TowerLink | `Poll 0,3` | %.0f |\n",
                perSecond(calls, [&] { return pilot->Poll(&source, &variable, &value); }));
    std::printf("| Kestrel + TowerLink | `PBattery` | %.0f |\n",
                perSecond(calls, [&] { return pilot->PBattery(&battery); }));
    pilot.reset();

    ComPtr<IBrickLink> link;
    kestrel::throwIfFailed(towerLink->CreateInstance(nullptr, IID_IBrickLink, link.putVoid()));
    Bstr virtualPort(L"VIRTUAL");
    kestrel::throwIfFailed(link->OpenPort(virtualPort.get()));
    std::printf(
        "| TowerLink alone | `ExecuteCommand \"out 2,1\"` | %.0f |\n", perSecond(calls, [&] {
            Bstr text(L"out 2,1");
            long mode = TOWERLINK_MODE_LASM, position = 0, result = 0;
            kestrel::Variant reply;
            return link->ExecuteCommand(text.inOut(), &mode, &position, reply.get(), &result);
        }));
    link.reset();
    CoRevokeClassObject(cookie);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const kestrel::ThreadApartment com;
    int status = 1;
    try {
        status = run(argc, argv);
    } catch (const kestrel::ComError& e) {
        std::fprintf(stderr, "TowerLinkBench: %ls (%08lx)\n", e.details().description.c_str(),
                     static_cast<unsigned long>(e.number()));
    }
    return status;
}
