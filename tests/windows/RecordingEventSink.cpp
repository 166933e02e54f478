// What an event sink heard, as lines of text.
#include "RecordingEventSink.h"

namespace kestrel::test {

STDMETHODIMP RecordingEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                        EXCEPINFO*, UINT*) {
    static const wchar_t* const names[] = {L"?", L"StatusChanged", L"MessageReceived",
                                           L"TransferProgress"};
    std::wstring line = id >= 1 && id <= 3 ? names[id] : L"event " + std::to_wstring(id);
    // Arguments arrive last first.
    for (UINT i = params->cArgs; i-- > 0;) {
        const VARIANT& v = params->rgvarg[i];
        line += V_VT(&v) == VT_I4 ? L" " + std::to_wstring(V_I4(&v)) : L" <not a Long>";
    }
    heard.push_back(line);
    if (id == DISPID_TOWERLINK_TRANSFERPROGRESS && onProgress) onProgress();
    return S_OK;
}

}  // namespace kestrel::test
