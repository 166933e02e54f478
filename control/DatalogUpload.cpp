// UploadDatalog: the brick's datalog as a table of entries, three bytes each. It traps nothing:
// every failure, the link's or an overflow of its own, reaches the caller, and the face is left
// alone.
#include <olectl.h>

#include <cmath>

#include "RcxPilot.h"
#include "RunTimeErrors.h"
#include "SafeArray.h"

namespace kestrel {

namespace {

constexpr HRESULT kTypeMismatch = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 13);

long to32(long long value) {
    if (value < INT32_MIN || value > INT32_MAX) throwOverflow();
    return static_cast<long>(value);
}

}  // namespace

void RcxPilot::uploadDatalog(short from, short* size, VARIANT* table) {
    long start = 0;
    long end = 0;
    brickLink_->queryDatalog(start, end);

    // The entry at the start position is the log's own size entry: it is neither counted nor read.
    const short given = *size;
    if (*size == 0) {
        const long extent = to32(static_cast<long long>(end) - start);
        *size = to16(std::nearbyint(extent / 3.0 - 1));
    }
    const short count = *size;
    const short lastEntry = to16(count + 1.0);
    if (lastEntry < 0) throwSubscriptOutOfRange();

    SAFEARRAYBOUND bounds[2] = {{3, 0}, {static_cast<ULONG>(lastEntry) + 1, 0}};
    SafeArray entries(SafeArrayCreate(VT_VARIANT, 2, bounds));
    if (!entries.get()) throw std::bad_alloc();

    const short byteCount = to16(count * 3.0);
    // In 32 bits, as the position is written: the step past the size entry overflows first.
    const long first = to32(static_cast<long long>(to32(static_cast<long long>(start) + 3)) + from);
    Variant data;
    brickLink_->readDatalog(first, byteCount, data);

    if (data.type() == (VT_ARRAY | VT_UI1)) {
        SAFEARRAY* bytes = V_ARRAY(data.get());
        if (!isByteVector(bytes)) {
            *size = given;
            throw ComError(kTypeMismatch, L"Type mismatch");
        }
        LONG lower = 0;
        LONG upper = 0;
        throwIfFailed(SafeArrayGetLBound(bytes, 1, &lower));
        throwIfFailed(SafeArrayGetUBound(bytes, 1, &upper));
        // Bytes land by their own index, not by their distance from the lower bound.
        for (long long i = lower; upper > lower && i <= upper; ++i) {
            LONG index = static_cast<LONG>(i);
            BYTE value = 0;
            throwIfFailed(SafeArrayGetElement(bytes, &index, &value));
            const long long column = i % 3;
            const double entry = std::nearbyint(1 + (i - 1) / 3.0);
            if (column < 0 || entry < 0 || entry > lastEntry) throwSubscriptOutOfRange();
            LONG at[2] = {static_cast<LONG>(column), static_cast<LONG>(entry)};
            VARIANT element;
            V_VT(&element) = VT_UI1;
            V_UI1(&element) = value;
            throwIfFailed(SafeArrayPutElement(entries.get(), at, &element));
        }
    }
    V_VT(table) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(table) = entries.release();
}

STDMETHODIMP RcxPilot::UploadDatalog(short* From, short* Size, VARIANT* table) {
    RETURN_HR_IF(E_POINTER, !From || !Size || !table);
    VariantInit(table);
    return guarded([&] { uploadDatalog(*From, Size, table); });
}

}  // namespace kestrel
