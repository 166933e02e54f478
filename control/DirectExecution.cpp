// Execute: the caller's own command text, handed to the link unchanged, with the result code and
// a byte-array reply written onto the face. Every failure ends in the error report; the caller
// hears of one only when the report itself fails.
#include <olectl.h>

#include "Attempt.h"
#include "NumberText.h"
#include "RcxPilot.h"

namespace kestrel {

namespace {

// The index runs in 16 bits: bounds outside that range, or a step past 32767, overflow.
short index16(LONG bound) {
    if (bound < -32768 || bound > 32767) throw ComError(CTL_E_OVERFLOW, L"Overflow");
    return static_cast<short>(bound);
}

// A reply is listed only when it truly is a one-dimensional array of bytes; anything else that
// merely carries the byte-array type is treated like any other reply.
bool isByteVector(const VARIANT* v) {
    if (V_VT(v) != (VT_ARRAY | VT_UI1) || !V_ARRAY(v)) return false;
    VARTYPE element = VT_EMPTY;
    if (SafeArrayGetDim(V_ARRAY(v)) != 1 || SafeArrayGetElemsize(V_ARRAY(v)) != 1) return false;
    // An array made without a recorded element type can only be judged by its element size.
    return FAILED(SafeArrayGetVartype(V_ARRAY(v), &element)) || element == VT_UI1;
}

}  // namespace

void RcxPilot::execute(BSTR* source, VARIANT_BOOL tlasm, LONG* nResult, LONG* nPos,
                       VARIANT* result) {
    if (auto failure = attempt([&] {
            const long mode = tlasm != 0 ? 2 : 0;
            throwIfFailed(VariantClear(result));
            const long code = vpb_->executeCommand(source, mode, *nPos, result);
            *nResult = code;
            face_.setCaption(L"Result: " + numberText(*nResult));
            if (!isByteVector(result)) return;
            SAFEARRAY* bytes = V_ARRAY(result);
            LONG lower = 0;
            LONG upper = 0;
            throwIfFailed(SafeArrayGetLBound(bytes, 1, &lower));
            throwIfFailed(SafeArrayGetUBound(bytes, 1, &upper));
            // No or one element: only the result line, wherever the array's bounds lie.
            if (upper <= lower) return;
            const short first = index16(lower);
            const short last = index16(upper);
            face_.setCaption(face_.caption() + L", variant result: ");
            for (long i = first; i <= last; ++i) {
                LONG index = i;
                BYTE value = 0;
                throwIfFailed(SafeArrayGetElement(bytes, &index, &value));
                face_.setCaption(face_.caption() + numberText(value) + L" ");
                if (i == 32767) index16(i + 1);
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
