// RcxPilot, the one control class of Kestrel.ocx: a dual automation interface of brick
// operations, each turned into one command text for the brick link, with the port, the link
// status, results and errors shown on the control's face.
#pragma once

#include <kestrel_tlb.h>
#include <oleidl.h>

#include <memory>
#include <source_location>
#include <span>
#include <string>

#include "BrickLink.h"
#include "ComPtr.h"
#include "ComError.h"
#include "ComObject.h"
#include "EventSource.h"
#include "Face.h"
#include "OleEmbedding.h"
#include "Persistence.h"

namespace kestrel {

// The embedding, persistence and event interfaces live in helper objects that share the
// control's identity and reference count.
class RcxPilot final : public ComObject<RcxPilot, _RcxPilot, ISupportErrorInfo> {
public:
    // The class factory's create function: builds the control and runs its creation handler.
    static HRESULT create(REFIID iid, void** object);

    static std::span<const InterfaceEntry<RcxPilot>> interfaces();

    // IDispatch: written out by hand so that every client's by-reference variants convert.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

    // _RcxPilot
    STDMETHODIMP get_Port(BSTR* value) override;
    STDMETHODIMP put_Port(BSTR value) override;
    STDMETHODIMP Execute(BSTR* Source, VARIANT_BOOL* TLasm, LONG* nResult, LONG* nPos,
                         VARIANT* result) override;
    STDMETHODIMP Reconnect() override;
    STDMETHODIMP PBAliveOrNot(VARIANT_BOOL* alive) override;
    STDMETHODIMP TowerAlive(VARIANT_BOOL* alive) override;
    STDMETHODIMP SelectDisplay(short* Source, short* Number) override;
    STDMETHODIMP SetWatch(short* uur, short* minuut) override;
    STDMETHODIMP PlaySystemsound(short* Number) override;
    STDMETHODIMP PlayTone(short* Frequency, short* Time) override;
    STDMETHODIMP Onn(short* motorlist) override;
    STDMETHODIMP Off(short* motorlist) override;
    STDMETHODIMP Float(short* motorlist) override;
    STDMETHODIMP SetFwd(short* motorlist) override;
    STDMETHODIMP SetRwd(short* motorlist) override;
    STDMETHODIMP AlterDir(short* motorlist) override;
    STDMETHODIMP SetPower(short* motorlist, short* power) override;
    STDMETHODIMP SetSensorType(short* Number, short* Typ) override;
    STDMETHODIMP SetSensorMode(short* Number, short* Typ, short* slope) override;
    STDMETHODIMP SelectPrgm(short* Number) override;
    STDMETHODIMP Poll(short* Source, short* Number, LONG* value) override;
    STDMETHODIMP PBattery(short* value) override;
    STDMETHODIMP SetVar(short* Varno, short* Source, short* Number) override;
    STDMETHODIMP SetDatalog(short* Size) override;
    STDMETHODIMP DatalogNext(short* Source, short* Number) override;
    STDMETHODIMP UploadDatalog(short* From, short* Size, VARIANT* table) override;

    Face& face() { return face_; }

private:
    RcxPilot() = default;
    ~RcxPilot() override;

    // Where the control's methods report their failures.
    static constexpr Boundary kBoundary{&IID__RcxPilot, L"kestrel"};

    // Runs body; a failure it does not handle itself reaches the caller with error info set.
    // The control keeps itself alive meanwhile: clearing a caller's variant, or a sink called
    // from the link, the face or an event, may drop what was its last outside reference.
    template <typename Body>
    HRESULT guarded(Body&& body,
                    std::source_location site = std::source_location::current()) noexcept {
        const ComPtr<_RcxPilot> self(this);
        return atBoundary(kBoundary, std::forward<Body>(body), site);
    }

    // Creation and destruction handlers, each run once per instance.
    void initialize();
    void terminate();

    // One typed brick command: the text goes to the link in the given mode; returns the code.
    long runCommand(const std::wstring& text, long mode);

    // Start-up steps and the error path shared by the methods that handle their own errors.
    void showPort();
    void openLink();
    void showStatus();
    void applyLinkMode(long setting);
    void reportError(const ErrorDetails& error);
    void checkHelpFile(const ErrorDetails& error);
    void reconnect();
    void execute(BSTR* source, VARIANT_BOOL tlasm, LONG* nResult, LONG* nPos, VARIANT* result);
    void uploadDatalog(short from, short* size, VARIANT* table);

    std::unique_ptr<BrickLink> brickLink_;
    Bstr port_;
    Face face_;
    bool terminated_ = false;
    // Declared after face_, which they use, so that they are destroyed before it.
    EventSource events_{*static_cast<_RcxPilot*>(this)};
    OleEmbedding embedding_{*static_cast<_RcxPilot*>(this), face_, events_.defaultSource()};
    Persistence persistence_{*static_cast<_RcxPilot*>(this)};
};

}  // namespace kestrel
