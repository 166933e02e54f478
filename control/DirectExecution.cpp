// Execute: the caller's own command text, handed to the link unchanged, with the result code and
// a byte-array reply written onto the face. Every failure ends in the error report; the caller
// hears of one only when the report itself fails.
#include "CatchFailure.h"
#include "NumberText.h"
#include "RcxPilot.h"
#include "RunTimeErrors.h"
#include "SafeArray.h"

namespace kestrel {

namespace {

// A reply is listed only when it truly is a one-dimensional array of bytes; anything else that
// merely carries the byte-array type is treated like any other reply.
bool isByteReply(const VARIANT* v) {
    return V_VT(v) == (VT_ARRAY | VT_UI1) && isByteVector(V_ARRAY(v));
}

}  // namespace

void RcxPilot::execute(BSTR* source, VARIANT_BOOL tlasm, LONG* nResult, LONG* nPos,
                       VARIANT* result) {
    if (auto failure = catchFailure([&] {
            const long mode = tlasm != 0 ? TOWERLINK_MODE_LASM : TOWERLINK_MODE_STATEMENT;
            throwIfFailed(VariantClear(result));
            const long code = brickLink_->executeCommand(source, mode, *nPos, result);
            *nResult = code;
            face_.setCaption(L"Result: " + numberText(*nResult));
            if (!isByteReply(result)) return;
            SAFEARRAY* bytes = V_ARRAY(result);
            LONG lower = 0;
            LONG upper = 0;
            throwIfFailed(SafeArrayGetLBound(bytes, 1, &lower));
            throwIfFailed(SafeArrayGetUBound(bytes, 1, &upper));
            // No or one element: only the result line, wherever the array's bounds lie.
            if (upper <= lower) return;
            const short first = to16(lower);
            const short last = to16(upper);
            face_.setCaption(face_.caption() + L", variant result: ");
            for (long i = first; i <= last; ++i) {
                LONG index = i;
                BYTE value = 0;
                throwIfFailed(SafeArrayGetElement(bytes, &index, &value));
                face_.setCaption(face_.caption() + numberText(value) + L" ");
                // The index runs in 16 bits: a step past 32767 overflows.
                if (i == 32767) throwOverflow();
            }
        }))
        reportError(*failure);
}

STDMETHODIMP RcxPilot::Execute(BSTR* Source, VARIANT_BOOL* TLasm, LONG* nResult, LONG* nPos,
                               VARIANT* result) {
    RETURN_HR_IF(E_POINTER, !Source || !TLasm);
    // Vtable callers may leave the optional arguments out as null pointers.
    LONG unusedResult = 0;
    LONG unusedPos = 0;
    Variant unusedReply;
    return guarded([&] {
        execute(Source, *TLasm, nResult ? nResult : &unusedResult, nPos ? nPos : &unusedPos,
                result ? result : unusedReply.get());
    });
}

}  // namespace kestrel
