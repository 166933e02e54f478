// Conversions between C++ exceptions and COM error information.
#include "ComError.h"

#include <new>

#include "Bstr.h"
#include "ComPtr.h"

namespace kestrel {

namespace {

std::wstring systemMessage(HRESULT hr) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message;
    if (length && text) {
        message.assign(text, length);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
            message.pop_back();
    }
    if (text) LocalFree(text);
    if (message.empty()) message = L"Automation error";
    return message;
}

}  // namespace

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

HRESULT setErrorInfo(const ErrorDetails& details, REFIID iid) {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(iid);
        create->SetDescription(const_cast<wchar_t*>(details.description.c_str()));
        create->SetHelpFile(const_cast<wchar_t*>(details.helpFile.c_str()));
        create->SetSource(const_cast<wchar_t*>(details.source.c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.queryInterface(IID_IErrorInfo, info))) SetErrorInfo(0, info.get());
    }
    return details.number;
}

HRESULT hresultFromCaughtException(REFIID iid, const wchar_t* source) noexcept {
    try {
        try {
            throw;
        } catch (const ComError& e) {
            ErrorDetails details = e.details();
            if (details.source.empty()) details.source = source;
            return setErrorInfo(details, iid);
        } catch (const std::bad_alloc&) {
            return setErrorInfo({E_OUTOFMEMORY, systemMessage(E_OUTOFMEMORY), {}, source}, iid);
        } catch (...) {
            return setErrorInfo({E_UNEXPECTED, systemMessage(E_UNEXPECTED), {}, source}, iid);
        }
    } catch (...) {
        return E_UNEXPECTED;
    }
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
