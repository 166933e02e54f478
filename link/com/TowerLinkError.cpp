// Descriptions and error information of TowerLink's failures.
#include "TowerLinkError.h"

#include <new>

#include "ComPtr.h"
#include "Module.h"
#include "IBrickLink.h"

namespace towerlink {
namespace {

constexpr const wchar_t* kSource = L"TowerLink";

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring systemText(int osError) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(osError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length && text ? std::wstring(text, length) : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) message = L"system error " + std::to_wstring(osError);
    return message;
}

HRESULT setInfo(HRESULT number, const std::wstring& description) noexcept {
    kestrel::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return number;
    const std::wstring helpFile = errorReferencePath();
    create->SetGUID(IID_IBrickLink);
    create->SetSource(const_cast<wchar_t*>(kSource));
    create->SetDescription(const_cast<wchar_t*>(description.c_str()));
    create->SetHelpFile(const_cast<wchar_t*>(helpFile.c_str()));
    // The reference has one section per number; its help context is the number's low word.
    create->SetHelpContext(HRESULT_CODE(number));
    kestrel::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.queryInterface(IID_IErrorInfo, info))) SetErrorInfo(0, info.get());
    return number;
}

}  // namespace

HRESULT hresultOf(TowerLinkError error) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, static_cast<unsigned>(error));
}

std::wstring errorReferencePath() {
    std::wstring path = kestrel::module::path();
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + L"TowerLink-errors.html";
}

void raise(TowerLinkError error, std::wstring description) {
    throw kestrel::ComError(hresultOf(error), std::move(description));
}

void raiseLinkFailure(const Failure& failure, const std::wstring& port, bool commandSent) {
    const std::wstring mayHaveRun =
        commandSent ? L". The brick may have carried out the command: only its reply was lost"
                    : L"";
    switch (failure.error) {
        case LinkError::NoTower:
            if (failure.osError != 0) {
                raise(TowerLinkError::NoTower,
                      L"The tower on " + port + L" stopped working (" +
                          systemText(failure.osError) +
                          L"): check that it is plugged in, then open the port again");
            }
            raise(TowerLinkError::NoTower,
                  L"No tower answers on " + port +
                      L": check that the tower is plugged into this port and that its battery "
                      L"is charged");
        case LinkError::BadTower:
            raise(TowerLinkError::BadTower,
                  L"Something answers on " + port +
                      L", but not as a LEGO tower does: check that the tower, and no other "
                      L"device, is plugged into this port");
        case LinkError::NoBrick:
            raise(TowerLinkError::NoBrick,
                  L"The brick does not answer: check that it is on and within reach of the "
                  L"tower" +
                      mayHaveRun);
        case LinkError::NoFirmware:
            raise(TowerLinkError::NoFirmware,
                  L"No firmware on the brick: download the firmware to the brick, then try again");
        case LinkError::BadCommunication:
            raise(TowerLinkError::BadCommunication,
                  L"The brick's replies arrive damaged: bring the brick closer to the tower and "
                  L"keep both out of bright light" +
                      mayHaveRun);
        case LinkError::BadArgument: break;
    }
    raise(TowerLinkError::BadArgument,
          L"The request cannot be sent to the brick (" + widen(failure.message) + L")");
}

HRESULT reportCaughtException() noexcept {
    try {
        try {
            throw;
        } catch (const kestrel::ComError& e) {
            return setInfo(e.number(), e.details().description);
        } catch (const std::bad_alloc&) {
            return setInfo(E_OUTOFMEMORY, L"Not enough memory for TowerLink");
        } catch (...) {
            return setInfo(E_UNEXPECTED, L"TowerLink met an unexpected internal fault");
        }
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT report(HRESULT number, const std::wstring& description) noexcept {
    try {
        return setInfo(number, description);
    } catch (...) {
        return number;
    }
}

}  // namespace towerlink
