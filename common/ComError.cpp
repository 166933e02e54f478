// Conversions between C++ exceptions and COM error information.
#include "ComError.h"

#include <new>

#include "Bstr.h"
#include "ComPtr.h"

namespace kestrel {

namespace {

constexpr const wchar_t* kUnexpected = L"Unexpected failure";

std::wstring formatMessage(DWORD number) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, number, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length && text ? std::wstring(text, length) : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return message;
}

std::wstring systemMessage(HRESULT hr) {
    std::wstring message = formatMessage(static_cast<DWORD>(hr));
    if (message.empty()) message = L"Automation error";
    return message;
}

}  // namespace

std::wstring systemErrorText(DWORD number) {
    std::wstring message = formatMessage(number);
    while (!message.empty() && (message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty()) message = L"system error " + std::to_wstring(number);
    return message;
}

ErrorDetails caughtError() noexcept {
    try {
        try {
            throw;
        } catch (const ComError& e) {
            return e.details();
        } catch (const std::bad_alloc&) {
            return {E_OUTOFMEMORY, kOutOfMemoryText, {}, {}};
        } catch (...) {
            return {E_UNEXPECTED, kUnexpected, {}, {}};
        }
    } catch (...) {
        // Copying the details ran out of memory.
        return {E_OUTOFMEMORY, {}, {}, {}};
    }
}

HRESULT caughtHresult() noexcept {
    try {
        throw;
    } catch (const ComError& e) {
        return e.number();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

ErrorDetails takeErrorInfo(HRESULT failed) {
    ErrorDetails details{failed, {}, {}, {}};
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        Bstr text;
        if (SUCCEEDED(info->GetDescription(text.put()))) details.description = text.str();
        if (SUCCEEDED(info->GetHelpFile(text.put()))) details.helpFile = text.str();
        if (SUCCEEDED(info->GetSource(text.put()))) details.source = text.str();
    }
    if (details.description.empty()) details.description = systemMessage(failed);
    return details;
}

void throwIfFailed(HRESULT hr) {
    if (FAILED(hr)) throw ComError(takeErrorInfo(hr));
}

HRESULT setErrorInfo(const ErrorDetails& details, REFIID iid, DWORD helpContext) {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(iid);
        create->SetDescription(const_cast<wchar_t*>(details.description.c_str()));
        create->SetHelpFile(const_cast<wchar_t*>(details.helpFile.c_str()));
        create->SetHelpContext(helpContext);
        create->SetSource(const_cast<wchar_t*>(details.source.c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.queryInterface(IID_IErrorInfo, info))) SetErrorInfo(0, info.get());
    }
    return details.number;
}

HRESULT report(const Boundary& where, ErrorDetails details) noexcept {
    try {
        if (details.description.empty()) details.description = systemMessage(details.number);
        if (details.source.empty()) details.source = where.source;
        DWORD helpContext = 0;
        if (where.helpFile && details.helpFile.empty()) {
            details.helpFile = where.helpFile();
            // The reference has one section per number; its help context is the low word.
            helpContext = HRESULT_CODE(details.number);
        }
        return setErrorInfo(details, *where.iid, helpContext);
    } catch (...) {
        return details.number;
    }
}

HRESULT reportCaughtException(const Boundary& where) noexcept {
    return report(where, caughtError());
}

HRESULT exceptionFromErrorInfo(HRESULT failed, EXCEPINFO* excepInfo) {
    if (!excepInfo) return failed;
    const ErrorDetails details = takeErrorInfo(failed);
    *excepInfo = EXCEPINFO{};
    excepInfo->scode = details.number;
    excepInfo->bstrDescription = SysAllocString(details.description.c_str());
    excepInfo->bstrHelpFile = SysAllocString(details.helpFile.c_str());
    excepInfo->bstrSource = SysAllocString(details.source.c_str());
    return DISP_E_EXCEPTION;
}

}  // namespace kestrel
