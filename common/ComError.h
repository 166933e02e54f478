// Errors at COM boundaries: a typed exception that carries what automation callers see (number,
// description, help file, source), and the conversions to and from COM error information.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <exception>
#include <string>
#include <type_traits>

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

// The error information that the thread holds right after a failed call, taken (and so cleared).
// A failure that came without error information gets the system's text for its number.
ErrorDetails takeErrorInfo(HRESULT failed);

// Throws ComError for a failed HRESULT, carrying the callee's error information.
void throwIfFailed(HRESULT hr);

// Sets the thread's error information for callers of an interface and returns the number.
HRESULT setErrorInfo(const ErrorDetails& details, REFIID iid);

// Converts the exception in flight to an HRESULT with error information set; for catch (...).
HRESULT hresultFromCaughtException(REFIID iid, const wchar_t* source) noexcept;

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

#define RETURN_HR_IF(hr, condition) \
    do {                            \
        if (condition) return (hr); \
    } while (0)

#define RETURN_IF_NULL_ALLOC(ptr)         \
    do {                                  \
        if (!(ptr)) return E_OUTOFMEMORY; \
    } while (0)
