// The control in its container: site, verbs, in-place activation, extents and drawing.
#include "OleEmbedding.h"

#include <kestrel_tlb.h>
#include <olectl.h>

#include <array>
#include <cstddef>
#include <cstring>

#include "ComError.h"
#include "Enumerator.h"

namespace kestrel {

namespace {

constexpr LONG himetric(LONG twips) {
    return (twips * 2540 + 720) / 1440;
}

constexpr SIZEL kDesignedExtent{himetric(Face::kDesignedSize.cx), himetric(Face::kDesignedSize.cy)};

struct VerbTraits {
    static HRESULT copy(const OLEVERB& from, OLEVERB* to) {
        *to = from;
        to->lpszVerbName = nullptr;
        if (!from.lpszVerbName) return S_OK;
        const size_t bytes = (wcslen(from.lpszVerbName) + 1) * sizeof(wchar_t);
        auto* name = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
        RETURN_IF_NULL_ALLOC(name);
        memcpy(name, from.lpszVerbName, bytes);
        to->lpszVerbName = name;
        return S_OK;
    }
    static void clear(OLEVERB& item) {
        CoTaskMemFree(item.lpszVerbName);
        item.lpszVerbName = nullptr;
    }
};

using VerbEnumerator = Enumerator<IEnumOLEVERB, IID_IEnumOLEVERB, OLEVERB, VerbTraits>;

// The verbs a container may offer; only the primary one belongs on a menu.
const std::array<OLEVERB, 5> kVerbs{{
    {OLEIVERB_PRIMARY, const_cast<LPOLESTR>(L"&Show"), 0, OLEVERBATTRIB_ONCONTAINERMENU},
    {OLEIVERB_SHOW, const_cast<LPOLESTR>(L"Show"), 0, 0},
    {OLEIVERB_INPLACEACTIVATE, const_cast<LPOLESTR>(L"Activate"), 0, 0},
    {OLEIVERB_UIACTIVATE, const_cast<LPOLESTR>(L"Activate with its user interface"), 0, 0},
    {OLEIVERB_HIDE, const_cast<LPOLESTR>(L"Hide"), 0, 0},
}};

RECT rectOf(const RECTL& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

}  // namespace

OleEmbedding::OleEmbedding(IUnknown& owner, Face& face, ConnectionPoint& events)
    : SharedIdentity(owner), face_(face), events_(events), extent_(kDesignedExtent) {
    face_.setChangeListener([this] { viewChanged(); });
}

OleEmbedding::~OleEmbedding() {
    face_.setChangeListener(nullptr);
}

// ---- IOleObject

STDMETHODIMP OleEmbedding::SetClientSite(IOleClientSite* site) {
    ComPtr<IUnknown> keepAlive(&owner());
    // The in-place site came from the old client site: a container leaving goes with it.
    if (!site) InPlaceDeactivate();
    site_ = ComPtr<IOleClientSite>(site);
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetClientSite(IOleClientSite** site) {
    RETURN_HR_IF(E_POINTER, !site);
    *site = ComPtr<IOleClientSite>(site_).release();
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetHostNames(LPCOLESTR, LPCOLESTR) {
    return S_OK;
}

// Nothing is ever dirty, so no save option asks for a save. Closing ends the control's part in
// the container; the control itself, and its terminate handler, end with the last reference.
STDMETHODIMP OleEmbedding::Close(DWORD) {
    ComPtr<IUnknown> keepAlive(&owner());
    InPlaceDeactivate();
    if (ComPtr<IOleAdviseHolder> holder = std::move(adviseHolder_)) holder->SendOnClose();
    viewSink_.reset();
    site_.reset();
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetMoniker(DWORD, IMoniker*) {
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    RETURN_HR_IF(E_POINTER, !moniker);
    *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::InitFromData(IDataObject*, BOOL, DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::GetClipboardData(DWORD, IDataObject** data) {
    RETURN_HR_IF(E_POINTER, !data);
    *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                  LPCRECT) {
    ComPtr<IUnknown> keepAlive(&owner());
    switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE: return activateInPlace(activeSite, false);
        case OLEIVERB_UIACTIVATE: return activateInPlace(activeSite, true);
        case OLEIVERB_HIDE:
            UIDeactivate();
            if (inPlaceActive_ && face_.window()) ShowWindow(face_.window(), SW_HIDE);
            return S_OK;
        default:
            // An unknown positive verb means the primary one.
            if (verb > 0) {
                RETURN_IF_FAILED(activateInPlace(activeSite, false));
                return OLEOBJ_S_INVALIDVERB;
            }
            // Opening in a window of its own, property pages and the rest: the control has none.
            return E_NOTIMPL;
    }
}

// The container's window context gives the rectangles in pixels; the extent it set before may
// be converted wrongly (Wine's host), so the face is sized from the rectangles only.
HRESULT OleEmbedding::activateInPlace(IOleClientSite* activeSite, bool withUserInterface) {
    if (!inPlaceActive_) {
        IOleClientSite* site = site_ ? site_.get() : activeSite;
        RETURN_HR_IF(E_UNEXPECTED, !site);
        ComPtr<IOleInPlaceSite> inPlaceSite;
        RETURN_IF_FAILED(site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.putVoid()));
        const HRESULT can = inPlaceSite->CanInPlaceActivate();
        RETURN_IF_FAILED(can);
        RETURN_HR_IF(OLEOBJ_S_CANNOT_DOVERB_NOW, can != S_OK);
        RETURN_IF_FAILED(inPlaceSite->OnInPlaceActivate());
        inPlaceSite_ = inPlaceSite;
        inPlaceActive_ = true;

        HWND parent = nullptr;
        RECT position{}, clip{};
        OLEINPLACEFRAMEINFO frameInfo{};
        frameInfo.cb = sizeof(frameInfo);
        HRESULT hr = inPlaceSite->GetWindow(&parent);
        if (SUCCEEDED(hr))
            hr = inPlaceSite->GetWindowContext(frame_.put(), document_.put(), &position, &clip,
                                               &frameInfo);
        if (SUCCEEDED(hr)) {
            try {
                face_.attach(parent, position, clip);
            } catch (...) {
                hr = reportCaughtException({&IID_IOleObject, L"kestrel"});
            }
        }
        if (FAILED(hr)) {
            InPlaceDeactivate();
            return hr;
        }
        site->ShowObject();
    } else if (HWND window = face_.window()) {
        ShowWindow(window, SW_SHOWNA);
    }
    return withUserInterface ? activateUserInterface() : S_OK;
}

// The control has no menus, tools or keys of its own: it tells the container that it is the
// active object and asks for no border space.
HRESULT OleEmbedding::activateUserInterface() {
    if (userInterfaceActive_ || !inPlaceSite_) return S_OK;
    RETURN_IF_FAILED(inPlaceSite_->OnUIActivate());
    userInterfaceActive_ = true;
    auto* active = static_cast<IOleInPlaceActiveObject*>(this);
    if (frame_) {
        frame_->SetActiveObject(active, nullptr);
        frame_->SetBorderSpace(nullptr);
    }
    if (document_) {
        document_->SetActiveObject(active, nullptr);
        document_->SetBorderSpace(nullptr);
    }
    return S_OK;
}

STDMETHODIMP OleEmbedding::EnumVerbs(IEnumOLEVERB** verbs) {
    RETURN_HR_IF(E_POINTER, !verbs);
    *verbs = nullptr;
    return VerbEnumerator::create(&owner(), kVerbs, verbs);
}

STDMETHODIMP OleEmbedding::Update() {
    return S_OK;
}

STDMETHODIMP OleEmbedding::IsUpToDate() {
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetUserClassID(CLSID* clsid) {
    RETURN_HR_IF(E_POINTER, !clsid);
    *clsid = CLSID_RcxPilot;
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetUserType(DWORD form, LPOLESTR* name) {
    RETURN_HR_IF(E_POINTER, !name);
    *name = nullptr;
    return OleRegGetUserType(CLSID_RcxPilot, form, name);
}

STDMETHODIMP OleEmbedding::SetExtent(DWORD aspect, SIZEL* size) {
    RETURN_HR_IF(E_POINTER, !size);
    RETURN_HR_IF(DV_E_DVASPECT, aspect != DVASPECT_CONTENT);
    RETURN_HR_IF(E_INVALIDARG, size->cx < 0 || size->cy < 0);
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetExtent(DWORD aspect, SIZEL* size) {
    RETURN_HR_IF(E_POINTER, !size);
    RETURN_HR_IF(DV_E_DVASPECT, aspect != DVASPECT_CONTENT);
    *size = extent_;
    return S_OK;
}

HRESULT OleEmbedding::adviseHolder(ComPtr<IOleAdviseHolder>& holder) {
    if (!adviseHolder_) RETURN_IF_FAILED(CreateOleAdviseHolder(adviseHolder_.put()));
    holder = adviseHolder_;
    return S_OK;
}

STDMETHODIMP OleEmbedding::Advise(IAdviseSink* sink, DWORD* connection) {
    RETURN_HR_IF(E_POINTER, !connection);
    *connection = 0;
    RETURN_HR_IF(E_INVALIDARG, !sink);
    ComPtr<IUnknown> keepAlive(&owner());
    ComPtr<IOleAdviseHolder> holder;
    RETURN_IF_FAILED(adviseHolder(holder));
    return holder->Advise(sink, connection);
}

STDMETHODIMP OleEmbedding::Unadvise(DWORD connection) {
    RETURN_HR_IF(OLE_E_NOCONNECTION, !adviseHolder_);
    ComPtr<IUnknown> keepAlive(&owner());
    ComPtr<IOleAdviseHolder> holder = adviseHolder_;
    return holder->Unadvise(connection);
}

STDMETHODIMP OleEmbedding::EnumAdvise(IEnumSTATDATA** advises) {
    RETURN_HR_IF(E_POINTER, !advises);
    *advises = nullptr;
    ComPtr<IOleAdviseHolder> holder;
    RETURN_IF_FAILED(adviseHolder(holder));
    return holder->EnumAdvise(advises);
}

// As registered: the status belongs to the content aspect; other aspects have none.
STDMETHODIMP OleEmbedding::GetMiscStatus(DWORD aspect, DWORD* status) {
    RETURN_HR_IF(E_POINTER, !status);
    *status = aspect == DVASPECT_CONTENT ? kRcxPilotMiscStatus : 0;
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetColorScheme(LOGPALETTE*) {
    return E_NOTIMPL;
}

// ---- IOleWindow

STDMETHODIMP OleEmbedding::GetWindow(HWND* window) {
    RETURN_HR_IF(E_POINTER, !window);
    *window = face_.ensureWindow();
    return *window ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
}

STDMETHODIMP OleEmbedding::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

// ---- IOleInPlaceObject

STDMETHODIMP OleEmbedding::InPlaceDeactivate() {
    if (!inPlaceActive_) return S_OK;
    ComPtr<IUnknown> keepAlive(&owner());
    UIDeactivate();
    inPlaceActive_ = false;
    face_.detach();
    frame_.reset();
    document_.reset();
    if (ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_)) site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP OleEmbedding::UIDeactivate() {
    if (!userInterfaceActive_) return S_OK;
    ComPtr<IUnknown> keepAlive(&owner());
    userInterfaceActive_ = false;
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (document_) document_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetObjectRects(LPCRECT position, LPCRECT clip) {
    RETURN_HR_IF(E_POINTER, !position);
    face_.setRects(*position, clip ? *clip : *position);
    return S_OK;
}

STDMETHODIMP OleEmbedding::ReactivateAndUndo() {
    return INPLACE_E_NOTUNDOABLE;
}

// ---- IOleInPlaceActiveObject

STDMETHODIMP OleEmbedding::TranslateAccelerator(LPMSG) {
    return S_FALSE;
}

STDMETHODIMP OleEmbedding::OnFrameWindowActivate(BOOL) {
    return S_OK;
}

STDMETHODIMP OleEmbedding::OnDocWindowActivate(BOOL) {
    return S_OK;
}

STDMETHODIMP OleEmbedding::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}

STDMETHODIMP OleEmbedding::EnableModeless(BOOL) {
    return S_OK;
}

// ---- IOleControl: no mnemonics and no ambient properties that the face depends on.

STDMETHODIMP OleEmbedding::GetControlInfo(CONTROLINFO* info) {
    RETURN_HR_IF(E_POINTER, !info);
    *info = CONTROLINFO{};
    info->cb = sizeof(CONTROLINFO);
    return S_OK;
}

STDMETHODIMP OleEmbedding::OnMnemonic(MSG*) {
    return S_OK;
}

STDMETHODIMP OleEmbedding::OnAmbientPropertyChange(DISPID) {
    return S_OK;
}

// The control raises no events, so there are none to hold back.
STDMETHODIMP OleEmbedding::FreezeEvents(BOOL) {
    return S_OK;
}

// ---- IViewObject2

STDMETHODIMP OleEmbedding::Draw(DWORD aspect, LONG index, void*, DVTARGETDEVICE*, HDC, HDC dc,
                                LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                ULONG_PTR) {
    RETURN_HR_IF(DV_E_DVASPECT, aspect != DVASPECT_CONTENT);
    RETURN_HR_IF(DV_E_LINDEX, index != -1);
    RETURN_HR_IF(E_INVALIDARG, !dc);
    RECT area{};
    if (bounds) {
        area = rectOf(*bounds);
    } else if (inPlaceActive_ && face_.window()) {
        // Drawing into the face's own device context: the client area is the place.
        GetClientRect(face_.window(), &area);
    } else {
        return E_INVALIDARG;
    }
    try {
        face_.draw(dc, area);
    } catch (...) {
        return reportCaughtException({&IID_IViewObject2, L"kestrel"});
    }
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetColorSet(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                                       LOGPALETTE** colors) {
    RETURN_HR_IF(E_POINTER, !colors);
    *colors = nullptr;
    RETURN_HR_IF(DV_E_DVASPECT, aspect != DVASPECT_CONTENT);
    // The face uses the system colours only.
    return S_FALSE;
}

STDMETHODIMP OleEmbedding::Freeze(DWORD, LONG, void*, DWORD* freeze) {
    if (freeze) *freeze = 0;
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::Unfreeze(DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP OleEmbedding::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    ComPtr<IUnknown> keepAlive(&owner());
    viewSink_ = ComPtr<IAdviseSink>(sink);
    viewAspects_ = sink ? aspects : 0;
    viewFlags_ = sink ? flags : 0;
    if (sink && (flags & ADVF_PRIMEFIRST)) viewChanged();
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = viewAspects_;
    if (flags) *flags = viewFlags_;
    if (sink) *sink = ComPtr<IAdviseSink>(viewSink_).release();
    return S_OK;
}

STDMETHODIMP OleEmbedding::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

void OleEmbedding::viewChanged() {
    if (!viewSink_ || !(viewAspects_ & DVASPECT_CONTENT)) return;
    ComPtr<IUnknown> keepAlive(&owner());
    ComPtr<IAdviseSink> sink = viewSink_;
    if (viewFlags_ & ADVF_ONLYONCE) {
        viewSink_.reset();
        viewAspects_ = viewFlags_ = 0;
    }
    sink->OnViewChange(DVASPECT_CONTENT, -1);
}

// ---- IQuickActivate: the usual first calls of a container in one.

STDMETHODIMP OleEmbedding::QuickActivate(QACONTAINER* container, QACONTROL* control) {
    RETURN_HR_IF(E_POINTER, !container || !control);
    // Older containers pass a shorter QACONTAINER; the fields read here are in every version.
    RETURN_HR_IF(E_INVALIDARG, container->cbSize < offsetof(QACONTAINER, dwAmbientFlags) ||
                                   control->cbSize < sizeof(QACONTROL));
    ComPtr<IUnknown> keepAlive(&owner());
    const ULONG size = control->cbSize;
    *control = QACONTROL{};
    control->cbSize = size;
    RETURN_IF_FAILED(SetClientSite(container->pClientSite));
    if (container->pAdviseSink)
        RETURN_IF_FAILED(SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink));
    if (container->pUnkEventSink)
        RETURN_IF_FAILED(events_.Advise(container->pUnkEventSink, &control->dwEventCookie));
    control->dwMiscStatus = kRcxPilotMiscStatus;
    control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP OleEmbedding::SetContentExtent(LPSIZEL size) {
    return SetExtent(DVASPECT_CONTENT, size);
}

STDMETHODIMP OleEmbedding::GetContentExtent(LPSIZEL size) {
    return GetExtent(DVASPECT_CONTENT, size);
}

}  // namespace kestrel
