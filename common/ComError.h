// Errors at COM boundaries: a typed exception that carries what automation callers see (number,
// description, help file, source), the one way a boundary turns it into an HRESULT with error
// information, and the conversions to and from COM error information.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <exception>
#include <source_location>
#include <string>
#include <type_traits>

#include "Trace.h"

namespace kestrel {

struct ErrorDetails {
    HRESULT number = S_OK;
    std::wstring description;
    std::wstring helpFile;
    std::wstring source;
};

class ComError : public std::exception {
public:
    explicit ComError(ErrorDetails details) : details_(std::move(details)) {}
    ComError(HRESULT number, std::wstring description)
        : details_{number, std::move(description), {}, {}} {}

    const ErrorDetails& details() const { return details_; }
    HRESULT number() const { return details_.number; }
    const char* what() const noexcept override { return "COM error"; }

private:
    ErrorDetails details_;
};

// Who reports at a boundary: the interface and source named in the error information, and,
// for a component with an error reference, its help file, which has one section per number.
struct Boundary {
    const IID* iid;
    const wchar_t* source;
    std::wstring (*helpFile)() = nullptr;
};

// What every boundary says when memory runs out.
inline constexpr const wchar_t* kOutOfMemoryText = L"Out of memory";

// The system's text for a number, without the closing period; "system error N" when it has none.
std::wstring systemErrorText(DWORD number);

// What the exception in flight says: a ComError's details; E_OUTOFMEMORY for std::bad_alloc
// only; E_UNEXPECTED for anything else. For catch (...).
ErrorDetails caughtError() noexcept;
// The same, its number only, for the object kit's own methods, which set no error information.
HRESULT caughtHresult() noexcept;

// The error information that the thread holds right after a failed call, taken (and so cleared).
// A failure that came without error information gets the system's text for its number.
ErrorDetails takeErrorInfo(HRESULT failed);

// Throws ComError for a failed HRESULT, carrying the callee's error information.
void throwIfFailed(HRESULT hr);

// Sets the thread's error information for callers of an interface and returns the number.
HRESULT setErrorInfo(const ErrorDetails& details, REFIID iid, DWORD helpContext = 0);

// Sets the error information of a failure at `where` (source and help file filled in where the
// details have none) and returns its number. Never throws.
HRESULT report(const Boundary& where, ErrorDetails details) noexcept;
// The same for the exception in flight; for catch (...).
HRESULT reportCaughtException(const Boundary& where) noexcept;

// Runs the body of a COM method: traces the call, and turns what the body throws into an
// HRESULT with error information. The body returns void (S_OK) or an HRESULT.
template <typename Body>
HRESULT atBoundary(const Boundary& where, Body&& body,
                   std::source_location site = std::source_location::current()) noexcept {
    trace::call(where.source, site.function_name());
    HRESULT hr = S_OK;
    try {
        if constexpr (std::is_void_v<decltype(body())>)
            body();
        else
            hr = body();
    } catch (...) {
        hr = reportCaughtException(where);
    }
    if (FAILED(hr)) trace::failed(where.source, site.function_name(), hr);
    return hr;
}

// Fills EXCEPINFO for late-bound callers from the thread's error information after a failed
// vtable call; returns DISP_E_EXCEPTION.
HRESULT exceptionFromErrorInfo(HRESULT failed, EXCEPINFO* excepInfo);

template <typename T>
constexpr bool kIsHresult = std::is_same_v<std::remove_cvref_t<T>, HRESULT>;

}  // namespace kestrel

#define RETURN_IF_FAILED(expr)                                                 \
    do {                                                                       \
        static_assert(::kestrel::kIsHresult<decltype(expr)>, "needs HRESULT"); \
        const HRESULT hr_ = (expr);                                            \
        if (FAILED(hr_)) return hr_;                                           \
    } while (0)

#define RETURN_HR_IF(hr, condition)                                          \
    do {                                                                     \
        static_assert(::kestrel::kIsHresult<decltype(hr)>, "needs HRESULT"); \
        if (condition) return (hr);                                          \
    } while (0)

#define RETURN_IF_NULL_ALLOC(ptr)         \
    do {                                  \
        if (!(ptr)) return E_OUTOFMEMORY; \
    } while (0)
