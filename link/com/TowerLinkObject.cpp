// The brick link's methods.
#include "TowerLinkObject.h"

#include <olectl.h>

#include <new>
#include <string>

#include "Bstr.h"
#include "CommandParser.h"
#include "ComError.h"
#include "FirmwareDownload.h"
#include "FirmwareFile.h"
#include "LinkStatus.h"
#include "ProgramDownload.h"
#include "ProgramFile.h"
#include "SafeArray.h"
#include "TowerLinkError.h"
#include "Variant.h"

namespace towerlink {
namespace {

constexpr long kProgramSlots = 5;  // the brick's program slots, 1 to 5

TowerRange towerRange(long setting) {
    return setting == TOWERLINK_RANGE_LONG ? TowerRange::Long : TowerRange::Short;
}

long statusCode(LinkStatus status) {
    switch (status) {
        case LinkStatus::Ready: return TOWERLINK_STATUS_READY;
        case LinkStatus::NoTower: return TOWERLINK_STATUS_NO_TOWER;
        case LinkStatus::BadTower: return TOWERLINK_STATUS_BAD_TOWER;
        case LinkStatus::NoBrick: return TOWERLINK_STATUS_NO_BRICK;
        case LinkStatus::NoFirmware: return TOWERLINK_STATUS_NO_FIRMWARE;
        case LinkStatus::BadBattery: return TOWERLINK_STATUS_BAD_BATTERY;
        case LinkStatus::BadCommunication: return TOWERLINK_STATUS_BAD_COMMUNICATION;
    }
    return TOWERLINK_STATUS_BAD_COMMUNICATION;
}

// Command texts are ASCII; anything else becomes a '?' in the same column, which the parser
// then points at.
std::string commandText(BSTR text) {
    std::string out;
    for (wchar_t c : kestrel::Bstr::view(text)) {
        out += c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

// A zero-based VT_UI1 array holding `bytes`; an empty one when there are none.
void putBytes(const Bytes& bytes, VARIANT* target) {
    kestrel::SafeArray array =
        kestrel::SafeArray::vector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!bytes.empty()) {
        kestrel::SafeArrayData<std::uint8_t> data(array.get());
        std::copy(bytes.begin(), bytes.end(), data.data());
    }
    V_VT(target) = VT_ARRAY | VT_UI1;
    V_ARRAY(target) = array.release();
}

VARIANT i4(long value) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

HRESULT nullPointer() {
    return kestrel::report(
        kBoundary,
        {E_POINTER, L"A required argument of the brick link was a null pointer", {}, {}});
}

}  // namespace

TowerLinkObject::TowerLinkObject()
    : events_(*static_cast<IBrickLink*>(this), *this, DIID__IBrickLinkEvents),
      status_(TOWERLINK_STATUS_NOT_OPENED),
      linkSetting_(TOWERLINK_RANGE_SHORT) {}

TowerLinkObject::~TowerLinkObject() {
    events_.clear();
}

HRESULT TowerLinkObject::create(REFIID iid, void** object) {
    return kestrel::handOut(new (std::nothrow) TowerLinkObject, iid, object);
}

std::span<const kestrel::InterfaceEntry<TowerLinkObject>> TowerLinkObject::interfaces() {
    using kestrel::inherited;
    using Self = TowerLinkObject;
    static const kestrel::InterfaceEntry<Self> table[] = {
        inherited<Self, IBrickLink>(IID_IUnknown),
        inherited<Self, IBrickLink>(IID_IBrickLink),
        inherited<Self, IFirmwareLoader>(IID_IFirmwareLoader),
        inherited<Self, IFirmwareLoader>(IID_IDispatch),
        inherited<Self, IProgramLoader>(IID_IProgramLoader),
        inherited<Self, ISupportErrorInfo>(IID_ISupportErrorInfo),
        inherited<Self, IConnectionPointContainer>(IID_IConnectionPointContainer),
    };
    return table;
}

// ---- the port ----

TowerLinkObject::TransferGuard::TransferGuard(TowerLinkObject& link, Transfer transfer)
    : link_(link) {
    link_.transfer_ = transfer;
}

TowerLinkObject::TransferGuard::~TransferGuard() {
    if (link_.transfer_ == Transfer::Datalog && link_.port_) {
        link_.port_->datalog().setProgressHandler({});
    }
    link_.transfer_ = Transfer::None;
}

PortConnection& TowerLinkObject::port() {
    if (transfer_ != Transfer::None) {
        const wchar_t* activity = transfer_ == Transfer::Datalog    ? L"reading the datalog"
                                  : transfer_ == Transfer::Firmware ? L"downloading firmware"
                                                                    : L"downloading a program";
        raise(TowerLinkError::Busy, std::wstring(L"The brick link is busy ") + activity +
                                        L": call again when the transfer has finished");
    }
    if (!port_) {
        raise(TowerLinkError::NotOpened,
              L"The port is not open: open it with OpenPort before talking to the brick");
    }
    return *port_;
}

STDMETHODIMP TowerLinkObject::GetPortName(BSTR* port) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        if (!port) return nullPointer();
        kestrel::Bstr name(port_ ? port_->name() : configuredPortName());
        SysFreeString(*port);
        *port = name.release();
        return S_OK;
    });
}

STDMETHODIMP TowerLinkObject::OpenPort(BSTR port) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        const std::wstring text(kestrel::Bstr::view(port));
        const std::optional<PortName> name = parsePortName(text);
        if (!name) {
            raise(TowerLinkError::UnknownPort,
                  (text.empty() ? std::wstring(L"No port name given")
                                : L"'" + text + L"' is not a port TowerLink knows") +
                      L": use COM1 to COM256 for a serial tower, USB (USB2, ...) for a USB tower, "
                      L"or VIRTUAL for the virtual brick");
        }
        if (transfer_ != Transfer::None) this->port();  // raises busy
        // A second OpenPort moves the link to the new port.
        port_.reset();
        try {
            port_ = PortConnection::open(*name, towerRange(linkSetting_),
                                         name->kind == PortKind::Virtual
                                             ? virtualBrickSettingsFromEnvironment()
                                             : VirtualBrickSettings{});
        } catch (const kestrel::ComError& e) {
            setStatus(e.number() == hresultOf(TowerLinkError::PortBusy)
                          ? TOWERLINK_STATUS_BUSY
                          : TOWERLINK_STATUS_NOT_OPENED);
            throw;
        }
        port_->session().setMessageHandler([this](std::uint8_t m) { messages_.push_back(m); });
        return S_OK;
    });
}

STDMETHODIMP TowerLinkObject::ClosePort() {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        if (transfer_ != Transfer::None) port();  // raises busy
        port_.reset();
        setStatus(TOWERLINK_STATUS_NOT_OPENED);
        return S_OK;
    });
}

// ---- status and settings ----

void TowerLinkObject::setStatus(long status) {
    if (status == status_) return;
    status_ = status;
    events_.fire(DISPID_TOWERLINK_STATUSCHANGED, {i4(status)});
}

long TowerLinkObject::probeStatus() {
    if (transfer_ != Transfer::None) return TOWERLINK_STATUS_TRANSFERRING;
    if (!port_)
        return status_ == TOWERLINK_STATUS_BUSY ? TOWERLINK_STATUS_BUSY
                                                : TOWERLINK_STATUS_NOT_OPENED;
    const long status = statusCode(probeLinkStatus(port_->session()));
    setStatus(status);
    deliverMessages();
    return status;
}

STDMETHODIMP TowerLinkObject::GetInfo(long item, long* value) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        if (!value) return nullPointer();
        const kestrel::ComPtr<IBrickLink> self(this);  // sinks run during the call
        *value = 0;
        switch (item) {
            case TOWERLINK_INFO_STATUS: *value = probeStatus(); return S_OK;
            case TOWERLINK_INFO_TOWER_ANSWERS: {
                if (!port_ || transfer_ != Transfer::None) return S_OK;
                const bool answers = port_->session().towerAnswers();
                deliverMessages();
                *value = answers ? 1 : 0;
                return S_OK;
            }
            case TOWERLINK_INFO_LINK_SETTING: *value = linkSetting_; return S_OK;
            default: break;
        }
        raise(TowerLinkError::BadItem,
              L"GetInfo has no item " + std::to_wstring(item) +
                  L": ask for 3 (link status), 4 (tower answers) or 6 (link setting)");
    });
}

STDMETHODIMP TowerLinkObject::SetLinkMode(short mode) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        if (mode == TOWERLINK_RANGE_SHORT_OF_TWO || mode == TOWERLINK_RANGE_SHORT) {
            linkSetting_ = TOWERLINK_RANGE_SHORT;
        } else if (mode == TOWERLINK_RANGE_LONG) {
            linkSetting_ = TOWERLINK_RANGE_LONG;
        } else {
            raise(TowerLinkError::BadLinkMode,
                  L"Link mode " + std::to_wstring(mode) +
                      L" is not a tower range: use 6 for short range or 7 for long range (5 is "
                      L"taken as short)");
        }
        if (port_ && transfer_ == Transfer::None) port_->setTowerRange(towerRange(linkSetting_));
        return S_OK;
    });
}

// ---- commands ----

void TowerLinkObject::noteFailure(const Failure& failure) {
    if (auto status = statusOf(failure.error)) setStatus(statusCode(*status));
    deliverMessages();
}

void TowerLinkObject::fireProgress(std::size_t done, std::size_t total) {
    events_.fire(DISPID_TOWERLINK_TRANSFERPROGRESS,
                 {i4(static_cast<long>(done)), i4(static_cast<long>(total))});
}

HRESULT TowerLinkObject::openConfiguredPort() {
    if (port_ || transfer_ != Transfer::None) return S_OK;
    const kestrel::Bstr name(configuredPortName());
    return OpenPort(name.get());
}

void TowerLinkObject::fail(const Failure& failure, bool commandSent) {
    noteFailure(failure);
    raiseLinkFailure(failure, port_ ? port_->name() : std::wstring(L"the port"), commandSent);
}

void TowerLinkObject::deliverMessages() {
    std::vector<std::uint8_t> arrived;
    arrived.swap(messages_);
    for (std::uint8_t m : arrived) events_.fire(DISPID_TOWERLINK_MESSAGERECEIVED, {i4(m)});
}

STDMETHODIMP TowerLinkObject::ExecuteCommand(BSTR* text, long* mode, long* position, VARIANT* reply,
                                             long* result) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        if (!text || !mode || !position || !reply || !result) return nullPointer();
        // The caller's reply variant, or a sink called meanwhile, may hold the last reference.
        const kestrel::ComPtr<IBrickLink> self(this);
        if (*mode != TOWERLINK_MODE_LASM && *mode != TOWERLINK_MODE_STATEMENT) {
            raise(TowerLinkError::BadMode,
                  L"Command mode " + std::to_wstring(*mode) +
                      L" is unknown: use 2 for LASM text or 0 for the statement form");
        }
        auto request =
            parseCommand(commandText(*text),
                         *mode == TOWERLINK_MODE_LASM ? CommandForm::Lasm : CommandForm::Statement);
        if (!request) {
            *position = request.error().column;
            raise(TowerLinkError::CommandText, widen(request.error().message));
        }
        PortConnection& link = port();
        ExecuteResult answer = link.session().execute(request.value());
        // Whatever the command was, the datalog may have changed under it.
        link.forgetDatalog();
        if (!answer) fail(answer.error(), true);
        kestrel::Variant bytes;
        putBytes(answer->data, bytes.get());
        VariantClear(reply);
        bytes.release(reply);
        *result = answer->value;
        deliverMessages();
        return S_OK;
    });
}

// ---- datalog ----

STDMETHODIMP TowerLinkObject::QueryDatalog(long* entrySize, long* entryCount, long* start,
                                           long* end, VARIANT* firstEntry, VARIANT* lastEntry) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        if (!entrySize || !entryCount || !start || !end || !firstEntry || !lastEntry) {
            return nullPointer();
        }
        const kestrel::ComPtr<IBrickLink> self(this);  // sinks run during the call
        *entrySize = *entryCount = *start = *end = 0;
        VariantInit(firstEntry);
        VariantInit(lastEntry);
        auto extent = port().datalog().extent();
        if (!extent) fail(extent.error());
        const long entries = extent.value() / Datalog::kBytesPerEntry;
        *entrySize = Datalog::kBytesPerEntry;
        // The size entry is the log's own: the count and the positions are those of logged entries.
        *entryCount = entries > 0 ? entries - 1 : 0;
        *end = extent.value();
        if (*entryCount > 0) {
            *firstEntry = i4(Datalog::kBytesPerEntry);
            *lastEntry = i4(extent.value() - Datalog::kBytesPerEntry);
        }
        deliverMessages();
        return S_OK;
    });
}

STDMETHODIMP TowerLinkObject::ReadDatalog(long first, long count, VARIANT* data) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        if (!data) return nullPointer();
        VariantInit(data);
        PortConnection& link = port();
        if (count <= 0) return S_OK;
        if (first < 0) {
            raise(TowerLinkError::BadArgument,
                  L"Datalog position " + std::to_wstring(first) +
                      L" lies before the start of the datalog: positions start at 0");
        }
        // The caller may let go of the link from an event handler; it must outlive the transfer.
        kestrel::ComPtr<IBrickLink> self(this);
        link.datalog().setProgressHandler([this](int done, int total) {
            fireProgress(static_cast<std::size_t>(done), static_cast<std::size_t>(total));
        });
        auto bytes = [&] {
            TransferGuard guard(*this, Transfer::Datalog);
            return link.datalog().readBytes(first, count);
        }();
        if (!bytes) fail(bytes.error());
        kestrel::Variant result;
        putBytes(bytes.value(), result.get());
        result.release(data);
        deliverMessages();
        return S_OK;
    });
}

// ---- firmware ----

STDMETHODIMP TowerLinkObject::DownloadFirmware(BSTR path) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        const kestrel::ComPtr<IBrickLink> self(this);  // sinks run during the call
        const FirmwareImage image = readFirmwareFile(std::wstring(kestrel::Bstr::view(path)));
        RETURN_IF_FAILED(openConfiguredPort());
        PortConnection& link = port();
        auto version = [&] {
            TransferGuard guard(*this, Transfer::Firmware);
            return downloadFirmware(
                link.session(), image,
                [this](std::size_t done, std::size_t all) { fireProgress(done, all); });
        }();
        link.forgetDatalog();
        if (!version) {
            const Failure& failure = version.error().failure;
            noteFailure(failure);
            raise(TowerLinkError::FirmwareDownload,
                  L"The firmware download failed (" + widen(failure.message) +
                      (version.error().untouched ? L"). Nothing was changed on the brick"
                                                 : L"). The brick is left without firmware") +
                      L": keep it close to the tower and call DownloadFirmware again");
        }
        deliverMessages();
        return S_OK;
    });
}

// ---- programs ----

STDMETHODIMP TowerLinkObject::DownloadProgram(BSTR path, long slot) {
    return kestrel::atBoundary(kBoundary, [&]() -> HRESULT {
        const kestrel::ComPtr<IBrickLink> self(this);  // sinks run during the call
        if (slot < 0 || slot > kProgramSlots) {
            raise(TowerLinkError::BadProgramSlot,
                  L"There is no program slot " + std::to_wstring(slot) +
                      L": use 1 to 5 for the brick's program slots, or 0 for the one it has "
                      L"selected");
        }
        const RcxImage image = readProgramFile(std::wstring(kestrel::Bstr::view(path)));
        RETURN_IF_FAILED(openConfiguredPort());
        PortConnection& link = port();
        auto outcome = [&] {
            TransferGuard guard(*this, Transfer::Program);
            return downloadProgram(
                link.session(), image, {.slot = static_cast<int>(slot)},
                [this](std::size_t done, std::size_t all) { fireProgress(done, all); });
        }();
        // The program's code shares the brick's memory with the datalog.
        link.forgetDatalog();
        if (!outcome) {
            const Failure& failure = outcome.error().failure;
            noteFailure(failure);
            // Once the slot was touched, the failure's message says so.
            raise(TowerLinkError::ProgramDownload,
                  L"The program download failed: " + widen(failure.message) +
                      (outcome.error().untouched ? L". Nothing was changed on the brick" : L"") +
                      L". Keep the brick close to the tower and call DownloadProgram again");
        }
        deliverMessages();
        return S_OK;
    });
}

// Late binding knows the methods of IFirmwareLoader and IProgramLoader; arguments are taken by
// value or by reference and converted, as every script engine passes them differently.

STDMETHODIMP TowerLinkObject::GetTypeInfoCount(UINT* count) {
    RETURN_HR_IF(E_POINTER, !count);
    *count = 0;
    return S_OK;
}

STDMETHODIMP TowerLinkObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    RETURN_HR_IF(E_POINTER, !info);
    *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP TowerLinkObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
    static constexpr struct {
        const wchar_t* name;
        DISPID id;
    } kMethods[] = {{L"DownloadFirmware", DISPID_TOWERLINK_DOWNLOADFIRMWARE},
                    {L"DownloadProgram", DISPID_TOWERLINK_DOWNLOADPROGRAM}};
    RETURN_HR_IF(E_POINTER, !names || !ids);
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    RETURN_HR_IF(DISP_E_UNKNOWNNAME, count == 0 || !names[0]);
    for (const auto& method : kMethods) {
        if (_wcsicmp(names[0], method.name) == 0) ids[0] = method.id;
    }
    RETURN_HR_IF(DISP_E_UNKNOWNNAME, ids[0] == DISPID_UNKNOWN);
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

STDMETHODIMP TowerLinkObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
    if (id == DISPID_TOWERLINK_DOWNLOADPROGRAM && (flags & DISPATCH_METHOD)) {
        RETURN_HR_IF(E_INVALIDARG, !params);
        if (result) VariantInit(result);
        return invokeDownloadProgram(*params, excepInfo, argError);
    }
    RETURN_HR_IF(DISP_E_MEMBERNOTFOUND,
                 id != DISPID_TOWERLINK_DOWNLOADFIRMWARE || !(flags & DISPATCH_METHOD));
    RETURN_HR_IF(E_INVALIDARG, !params);
    RETURN_HR_IF(DISP_E_NONAMEDARGS, params->cNamedArgs != 0);
    RETURN_HR_IF(DISP_E_BADPARAMCOUNT, params->cArgs != 1);
    kestrel::Variant path;
    HRESULT hr = VariantCopyInd(path.get(), &params->rgvarg[0]);
    if (SUCCEEDED(hr)) hr = VariantChangeType(path.get(), path.get(), 0, VT_BSTR);
    if (FAILED(hr)) {
        if (argError) *argError = 0;
        return DISP_E_TYPEMISMATCH;
    }
    if (result) VariantInit(result);
    hr = DownloadFirmware(V_BSTR(path.get()));
    return FAILED(hr) ? kestrel::exceptionFromErrorInfo(hr, excepInfo) : S_OK;
}

HRESULT TowerLinkObject::invokeDownloadProgram(DISPPARAMS& params, EXCEPINFO* excepInfo,
                                               UINT* argError) {
    RETURN_HR_IF(DISP_E_NONAMEDARGS, params.cNamedArgs != 0);
    RETURN_HR_IF(DISP_E_BADPARAMCOUNT, params.cArgs < 1 || params.cArgs > 2);
    // Arguments arrive last first: the path is the highest index.
    auto convert = [&](UINT index, VARTYPE type, kestrel::Variant& value) {
        HRESULT hr = VariantCopyInd(value.get(), &params.rgvarg[index]);
        if (SUCCEEDED(hr)) hr = VariantChangeType(value.get(), value.get(), 0, type);
        if (SUCCEEDED(hr)) return S_OK;
        if (argError) *argError = index;
        return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    };
    kestrel::Variant path, slot;
    RETURN_IF_FAILED(convert(params.cArgs - 1, VT_BSTR, path));
    const VARIANT& slotGiven = params.rgvarg[0];
    const bool omitted = params.cArgs == 1 || (V_VT(&slotGiven) == VT_ERROR &&
                                               V_ERROR(&slotGiven) == DISP_E_PARAMNOTFOUND);
    if (!omitted) RETURN_IF_FAILED(convert(0, VT_I4, slot));
    const HRESULT hr = DownloadProgram(V_BSTR(path.get()), omitted ? 0 : V_I4(slot.get()));
    return FAILED(hr) ? kestrel::exceptionFromErrorInfo(hr, excepInfo) : S_OK;
}

// ---- errors and events ----

STDMETHODIMP TowerLinkObject::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID_IBrickLink || iid == IID_IFirmwareLoader || iid == IID_IProgramLoader
               ? S_OK
               : S_FALSE;
}

STDMETHODIMP TowerLinkObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return events_.enumerate(points);
}

STDMETHODIMP TowerLinkObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return events_.find(iid, point);
}

}  // namespace towerlink
