// RcxPilot in containers: hosted by atl.dll's AtlAxWin as a C++ program hosts it, and the
// embedding, persistence and event interfaces that other containers call, tested directly.
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <filesystem>

#include "AtlHost.h"
#include "ComError.h"
#include "ControlFixture.h"
#include "ScreenCapture.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

constexpr DISPID kReconnect = 0x60030001;
constexpr DISPID kOnn = 0x60030008;
constexpr DWORD kMiscStatus = 131473;
const HRESULT kLinkError = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x201);

int countOf(const std::vector<std::wstring>& calls, const wchar_t* call) {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

HRESULT callByDispatch(IUnknown* control, DISPID id, const wchar_t* argument = nullptr) {
    ComPtr<IDispatch> dispatch;
    RETURN_IF_FAILED(control->QueryInterface(IID_IDispatch, dispatch.putVoid()));
    if (!argument) return invoke(dispatch.get(), id, {});
    VARIANT value = text(argument);
    const HRESULT hr = invoke(dispatch.get(), id, {value});
    clear({&value});
    return hr;
}

HWND faceOf(IUnknown* control) {
    ComPtr<IOleWindow> window;
    HWND face = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IOleWindow, window.putVoid())))
        window->GetWindow(&face);
    return face;
}

// The face that a window's font resolves to on this system ("System" when it has none).
std::wstring fontFace(HWND window) {
    HDC dc = GetDC(window);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return face;
}

std::wstring besideTheTest(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return (std::filesystem::path(path).parent_path() / name).wstring();
}

class Hosting : public testing::Test {
protected:
    void SetUp() override {
        resetFakeLink();
        // AtlAxWin finds the control by its ProgID, as any container does.
        ASSERT_HRESULT_SUCCEEDED(library_.registerServer());
    }
    std::vector<std::wstring>& calls() { return fakeLink().calls; }

    FakeLinkRegistration registration_;
    KestrelLibrary library_;
    MessageBoxHook boxes_;
    AtlHost host_;
};

TEST_F(Hosting, ShowsItsFaceInAnAtlAxWinFormAndTakesCallsByDispatchId) {
    ASSERT_TRUE(host_.open(L"kestrel.RcxPilot", 320, 240));
    ComPtr<IUnknown> control = host_.control();
    calls().clear();
    EXPECT_EQ(S_OK, callByDispatch(control.get(), kOnn, L"1"));
    EXPECT_EQ(std::vector<std::wstring>{L"ExecuteCommand out 2,1|2|0"}, calls());

    HWND face = faceOf(control.get());
    ASSERT_TRUE(face);
    EXPECT_EQ(host_.axWindow(), GetParent(face));
    EXPECT_TRUE(IsWindowVisible(face));
    RECT faceRect{}, hostRect{};
    GetClientRect(face, &faceRect);
    GetClientRect(host_.axWindow(), &hostRect);
    EXPECT_TRUE(EqualRect(&faceRect, &hostRect)) << "the face fills the place the host gives it";

    HWND label = FindWindowExW(face, nullptr, L"Static", nullptr);
    ASSERT_TRUE(label);
    EXPECT_EQ(L"Ok", windowText(label)) << "start-up's last text";
    HDC dc = GetDC(host_.axWindow());
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(host_.axWindow(), dc);
    RECT labelRect{};
    GetWindowRect(label, &labelRect);
    MapWindowPoints(nullptr, face, reinterpret_cast<POINT*>(&labelRect), 2);
    EXPECT_NEAR(MulDiv(120, dpi, 1440), labelRect.left, 1);
    EXPECT_NEAR(MulDiv(120, dpi, 1440), labelRect.top, 1);
    EXPECT_NEAR(MulDiv(4575, dpi, 1440), labelRect.right - labelRect.left, 1);
    EXPECT_NEAR(MulDiv(3255, dpi, 1440), labelRect.bottom - labelRect.top, 1);
    EXPECT_EQ(L"MS Sans Serif", fontFace(label)) << "a label's own font, not the bold system font";

    AtlHost::pump(300);
    ScreenCapture shot(host_.form());
    EXPECT_TRUE(shot.save(besideTheTest(L"HostingTests-face.bmp")));
    MapWindowPoints(face, host_.form(), reinterpret_cast<POINT*>(&labelRect), 2);
    POINT faceCorner{2, 2};
    MapWindowPoints(face, host_.form(), &faceCorner, 1);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), shot.at(faceCorner.x, faceCorner.y));
    EXPECT_GT(shot.countOther(labelRect, GetSysColor(COLOR_BTNFACE)), 0) << "the caption shows";
}

TEST_F(Hosting, ReleasesTheControlWhenTheHostCloses) {
    ASSERT_TRUE(host_.open(L"kestrel.RcxPilot", 320, 240));
    calls().clear();
    host_.close();
    EXPECT_EQ(1, countOf(calls(), L"ClosePort")) << "terminate runs once";
    EXPECT_EQ(0, fakeLink().liveLinks);
    EXPECT_EQ(S_OK, library_.canUnloadNow());
}

// A container that closes the control but still holds it has not destroyed it: terminate waits
// for the last reference, and the face lives on hidden with its text.
TEST_F(Hosting, TerminatesOnlyWhenTheLastReferenceGoes) {
    ASSERT_TRUE(host_.open(L"kestrel.RcxPilot", 320, 240));
    ComPtr<IUnknown> kept = host_.control();
    calls().clear();
    host_.close();
    EXPECT_EQ(0, countOf(calls(), L"ClosePort"));
    HWND face = faceOf(kept.get());
    ASSERT_TRUE(face) << "made again after the host destroyed it";
    EXPECT_FALSE(IsWindowVisible(face));
    EXPECT_EQ(L"Ok", windowText(FindWindowExW(face, nullptr, L"Static", nullptr)));

    kept.reset();
    EXPECT_EQ(1, countOf(calls(), L"ClosePort"));
    EXPECT_EQ(0, fakeLink().liveLinks);
    EXPECT_EQ(S_OK, library_.canUnloadNow());
}

TEST_F(Hosting, OwnsItsMessageBoxesByTheForm) {
    ASSERT_TRUE(host_.open(L"kestrel.RcxPilot", 320, 240));
    fakeLink().failures[L"GetInfo 6"] = {kLinkError, L"No setting", L""};
    callByDispatch(host_.control().get(), kReconnect);
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ(L"No Err.HelpFile", boxes_.boxes()[0].text);
    EXPECT_EQ(host_.form(), boxes_.boxes()[0].owner);
}

// Counts references and fails the test on calls that the control must not make.
template <typename Interface>
class Fake : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid == IID_IUnknown || answers(iid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 0;

protected:
    virtual bool answers(REFIID iid) = 0;
};

class FakeEventSink final : public Fake<IDispatch> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return unexpected(); }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return unexpected(); }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return unexpected();
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return unexpected();
    }

private:
    bool answers(REFIID iid) override { return iid == DIID___RcxPilot; }
    HRESULT unexpected() {
        ADD_FAILURE() << "the control raises no events";
        return E_NOTIMPL;
    }
};

class FakeStranger final : public Fake<IUnknown> {
    bool answers(REFIID) override { return false; }
};

class FakeClientSite final : public Fake<IOleClientSite> {
public:
    STDMETHODIMP SaveObject() override { return unexpected(); }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return unexpected(); }
    STDMETHODIMP GetContainer(IOleContainer**) override { return unexpected(); }
    STDMETHODIMP ShowObject() override { return unexpected(); }
    STDMETHODIMP OnShowWindow(BOOL) override { return unexpected(); }
    STDMETHODIMP RequestNewObjectLayout() override { return unexpected(); }

private:
    bool answers(REFIID iid) override { return iid == IID_IOleClientSite; }
    HRESULT unexpected() {
        ADD_FAILURE() << "a site without a window is not asked for anything";
        return E_NOTIMPL;
    }
};

class FakeAdviseSink final : public Fake<IAdviseSinkEx> {
public:
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override { ADD_FAILURE(); }
    void STDMETHODCALLTYPE OnViewChange(DWORD aspect, LONG) override {
        if (aspect == DVASPECT_CONTENT) ++viewChanges;
    }
    void STDMETHODCALLTYPE OnRename(IMoniker*) override { ADD_FAILURE(); }
    void STDMETHODCALLTYPE OnSave() override { ADD_FAILURE(); }
    void STDMETHODCALLTYPE OnClose() override { ++closes; }
    void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override {}
    int viewChanges = 0;
    int closes = 0;

private:
    bool answers(REFIID iid) override { return iid == IID_IAdviseSink || iid == IID_IAdviseSinkEx; }
};

class FakePropertyBag final : public Fake<IPropertyBag> {
public:
    STDMETHODIMP Read(LPCOLESTR name, VARIANT*, IErrorLog*) override {
        ADD_FAILURE() << "reads " << testing::PrintToString(std::wstring(name));
        return E_INVALIDARG;
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT*) override {
        ADD_FAILURE() << "writes " << testing::PrintToString(std::wstring(name));
        return S_OK;
    }

private:
    bool answers(REFIID iid) override { return iid == IID_IPropertyBag; }
};

class Embedding : public ControlTest {
protected:
    template <typename T>
    ComPtr<T> as(REFIID iid) {
        ComPtr<T> result;
        EXPECT_HRESULT_SUCCEEDED(pilot_.queryInterface(iid, result));
        return result;
    }
};

TEST_F(Embedding, PersistsAnEmptyStateThroughStreamsAndPropertyBags) {
    auto stream = as<IPersistStreamInit>(IID_IPersistStreamInit);
    ASSERT_TRUE(stream);
    CLSID clsid{};
    EXPECT_EQ(S_OK, stream->GetClassID(&clsid));
    EXPECT_EQ(CLSID_RcxPilot, clsid);
    EXPECT_EQ(S_OK, stream->InitNew());
    EXPECT_EQ(S_FALSE, stream->IsDirty());
    ComPtr<IStream> saved;
    ASSERT_HRESULT_SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, saved.put()));
    EXPECT_EQ(S_OK, stream->Save(saved.get(), TRUE));
    ULARGE_INTEGER size{};
    size.QuadPart = 0xdeadbeef;
    EXPECT_EQ(S_OK, stream->GetSizeMax(&size));
    STATSTG stat{};
    ASSERT_HRESULT_SUCCEEDED(saved->Stat(&stat, STATFLAG_NONAME));
    EXPECT_LE(stat.cbSize.QuadPart, size.QuadPart) << "GetSizeMax covers what Save wrote";
    EXPECT_EQ(0u, stat.cbSize.QuadPart);
    EXPECT_EQ(S_OK, stream->Load(saved.get()));
    EXPECT_EQ(S_FALSE, stream->IsDirty());
    EXPECT_EQ(E_POINTER, stream->Save(nullptr, TRUE));
    EXPECT_EQ(E_POINTER, stream->Load(nullptr));

    auto bag = as<IPersistPropertyBag>(IID_IPersistPropertyBag);
    ASSERT_TRUE(bag);
    FakePropertyBag properties;
    EXPECT_EQ(S_OK, bag->InitNew());
    EXPECT_EQ(S_OK, bag->Save(&properties, TRUE, TRUE));
    EXPECT_EQ(S_OK, bag->Load(&properties, nullptr));
    EXPECT_EQ(E_POINTER, bag->Load(nullptr, nullptr));
    EXPECT_EQ(0u, properties.refs);
    EXPECT_EQ(L"Ok", caption()) << "loading does not restart the control";
}

TEST_F(Embedding, ProvidesItsClassAndDefaultSource) {
    auto provider = as<IProvideClassInfo2>(IID_IProvideClassInfo2);
    ASSERT_TRUE(provider);
    GUID source = GUID_NULL;
    EXPECT_EQ(S_OK, provider->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_EQ(DIID___RcxPilot, source);
    EXPECT_EQ(E_INVALIDARG, provider->GetGUID(7, &source));
    EXPECT_EQ(E_POINTER, provider->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr));

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, provider->GetClassInfo(coclass.put()));
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attributes));
    EXPECT_EQ(CLSID_RcxPilot, attributes->guid);
    EXPECT_EQ(TKIND_COCLASS, attributes->typekind);
    GUID defaultSource = GUID_NULL;
    for (UINT i = 0; i < attributes->cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> implemented;
        TYPEATTR* implementedAttributes = nullptr;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
            flags != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) ||
            FAILED(coclass->GetRefTypeOfImplType(i, &reference)) ||
            FAILED(coclass->GetRefTypeInfo(reference, implemented.put())) ||
            FAILED(implemented->GetTypeAttr(&implementedAttributes)))
            continue;
        defaultSource = implementedAttributes->guid;
        implemented->ReleaseTypeAttr(implementedAttributes);
    }
    coclass->ReleaseTypeAttr(attributes);
    EXPECT_EQ(DIID___RcxPilot, defaultSource);
}

TEST_F(Embedding, ConnectionPointAcceptsAndRefusesAsComSays) {
    auto container = as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ASSERT_TRUE(container);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IDispatch, point.put()));
    EXPECT_FALSE(point);
    ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID___RcxPilot, point.put()));
    IID iid = GUID_NULL;
    EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_EQ(DIID___RcxPilot, iid);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.put()));
    ComPtr<IUnknown> controlIdentity, backIdentity;
    pilot_.queryInterface(IID_IUnknown, controlIdentity);
    back.queryInterface(IID_IUnknown, backIdentity);
    EXPECT_EQ(controlIdentity.get(), backIdentity.get());

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.put()));
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, points->Next(2, listed, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(point.get(), listed[0]);
    listed[0]->Release();

    FakeEventSink sink, second;
    FakeStranger stranger;
    DWORD cookie = 0xdeadbeef;
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(&stranger, &cookie));
    EXPECT_EQ(0u, cookie);
    EXPECT_EQ(E_POINTER, point->Advise(nullptr, &cookie));
    ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
    DWORD secondCookie = 0;
    ASSERT_EQ(S_OK, point->Advise(&second, &secondCookie));
    EXPECT_NE(0u, cookie);
    EXPECT_NE(cookie, secondCookie);

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, point->EnumConnections(connections.put()));
    CONNECTDATA data[3] = {};
    EXPECT_EQ(S_FALSE, connections->Next(3, data, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(cookie, data[0].dwCookie);
    EXPECT_EQ(secondCookie, data[1].dwCookie);
    for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
    connections.reset();

    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_EQ(0u, sink.refs) << "an unadvised sink is released";
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(0));
    EXPECT_EQ(0u, stranger.refs);

    // A sink still advised when the control goes is released with it.
    points.reset();
    back.reset();
    point.reset();
    container.reset();
    controlIdentity.reset();
    backIdentity.reset();
    pilot_.reset();
    EXPECT_EQ(0u, second.refs);
}

TEST_F(Embedding, AnswersWhatAContainerAsksBeforeActivation) {
    auto object = as<IOleObject>(IID_IOleObject);
    ASSERT_TRUE(object);
    DWORD status = 0xdeadbeef;
    EXPECT_EQ(S_OK, object->GetMiscStatus(DVASPECT_CONTENT, &status));
    EXPECT_EQ(kMiscStatus, status);
    SIZEL extent{};
    EXPECT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &extent));
    EXPECT_EQ(8467, extent.cx);
    EXPECT_EQ(6350, extent.cy);
    EXPECT_EQ(DV_E_DVASPECT, object->GetExtent(DVASPECT_ICON, &extent));
    SIZEL larger{10000, 7000};
    EXPECT_EQ(S_OK, object->SetExtent(DVASPECT_CONTENT, &larger));
    EXPECT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &extent));
    EXPECT_EQ(10000, extent.cx);

    ComPtr<IEnumOLEVERB> verbs;
    ASSERT_EQ(S_OK, object->EnumVerbs(verbs.put()));
    std::vector<LONG> numbers;
    OLEVERB verb{};
    while (verbs->Next(1, &verb, nullptr) == S_OK) {
        numbers.push_back(verb.lVerb);
        CoTaskMemFree(verb.lpszVerbName);
    }
    EXPECT_NE(numbers.end(), std::find(numbers.begin(), numbers.end(), OLEIVERB_PRIMARY));
    EXPECT_NE(numbers.end(), std::find(numbers.begin(), numbers.end(), OLEIVERB_INPLACEACTIVATE));
    EXPECT_EQ(E_UNEXPECTED,
              object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, nullptr, nullptr))
        << "in place needs a site";
    EXPECT_EQ(E_NOTIMPL, object->DoVerb(OLEIVERB_OPEN, nullptr, nullptr, 0, nullptr, nullptr));

    FakeClientSite site;
    EXPECT_EQ(S_OK, object->SetClientSite(&site));
    ComPtr<IOleClientSite> current;
    EXPECT_EQ(S_OK, object->GetClientSite(current.put()));
    EXPECT_EQ(static_cast<IOleClientSite*>(&site), current.get());
    current.reset();
    FakeAdviseSink sink;
    DWORD connection = 0;
    ASSERT_EQ(S_OK, object->Advise(&sink, &connection));
    FakeAdviseSink leaving;
    DWORD leavingConnection = 0;
    ASSERT_EQ(S_OK, object->Advise(&leaving, &leavingConnection));
    EXPECT_EQ(S_OK, object->Unadvise(leavingConnection));
    EXPECT_EQ(0u, leaving.refs);

    auto control = as<IOleControl>(IID_IOleControl);
    CONTROLINFO info{};
    info.cAccel = 0xbeef;
    EXPECT_EQ(S_OK, control->GetControlInfo(&info));
    EXPECT_EQ(sizeof(CONTROLINFO), info.cb);
    EXPECT_EQ(0, info.cAccel);

    calls().clear();
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_SAVEIFDIRTY));
    EXPECT_EQ(1, sink.closes);
    EXPECT_EQ(0u, sink.refs) << "closing lets go of the container's sinks";
    EXPECT_EQ(0u, site.refs) << "and of its site";
    EXPECT_TRUE(calls().empty()) << "closing does not terminate the control";
    EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
}

TEST_F(Embedding, DrawsItsFaceIntoAMemoryDc) {
    auto view = as<IViewObject2>(IID_IViewObject2);
    ASSERT_TRUE(view);
    BITMAPINFO bitmapInfo{};
    bitmapInfo.bmiHeader = {sizeof(BITMAPINFOHEADER), 320, -240, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &bitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(dc && bitmap);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECTL bounds{0, 0, 320, 240};
    EXPECT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                               nullptr, nullptr, 0));
    EXPECT_EQ(DV_E_DVASPECT, view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds,
                                        nullptr, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr,
                                       nullptr, nullptr, 0))
        << "no place to draw in";
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t background = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    // The label lies at 8,8 to 313,225 of 320 by 240.
    int inLabel = 0, outside = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            if ((pixels[y * 320 + x] & 0xffffff) == background) continue;
            const bool label = x >= 8 && x < 313 && y >= 8 && y < 225;
            ++(label ? inLabel : outside);
        }
    EXPECT_GT(inLabel, 0) << "the caption is drawn";
    EXPECT_EQ(0, outside) << "within the label only";
    SIZEL extent{};
    EXPECT_EQ(S_OK, view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent));
    EXPECT_EQ(8467, extent.cx);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(Embedding, QuickActivatesWithTheContainersSiteAndSinks) {
    auto quick = as<IQuickActivate>(IID_IQuickActivate);
    ASSERT_TRUE(quick);
    FakeClientSite site;
    FakeAdviseSink view;
    FakeEventSink events;
    QACONTAINER container{};
    container.cbSize = sizeof(container);
    container.pClientSite = &site;
    container.pAdviseSink = &view;
    container.pUnkEventSink = &events;
    QACONTROL control{};
    control.cbSize = sizeof(control);
    control.dwMiscStatus = 0xdeadbeef;
    ASSERT_EQ(S_OK, quick->QuickActivate(&container, &control));
    EXPECT_EQ(kMiscStatus, control.dwMiscStatus);
    EXPECT_TRUE(control.dwViewStatus & VIEWSTATUS_OPAQUE);
    EXPECT_NE(0u, control.dwEventCookie);
    EXPECT_EQ(1u, site.refs);
    EXPECT_EQ(1u, events.refs);

    // A new caption asks the container's view to draw again.
    EXPECT_EQ(S_OK, callByDispatch(pilot_.get(), kReconnect));
    EXPECT_GT(view.viewChanges, 0);

    auto connections = as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, connections->FindConnectionPoint(DIID___RcxPilot, point.put()));
    EXPECT_EQ(S_OK, point->Unadvise(control.dwEventCookie));
    point.reset();
    connections.reset();
    auto object = as<IOleObject>(IID_IOleObject);
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(0u, site.refs);
    EXPECT_EQ(0u, view.refs);
    EXPECT_EQ(0u, events.refs);
    QACONTAINER tooSmall{};
    tooSmall.cbSize = 4;
    EXPECT_EQ(E_INVALIDARG, quick->QuickActivate(&tooSmall, &control));
}

}  // namespace
