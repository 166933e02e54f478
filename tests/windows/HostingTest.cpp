// RcxPilot in containers: hosted by atl.dll's AtlAxWin as a C++ program hosts it, and the
// embedding, persistence and event interfaces that other containers call, tested directly.
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "ControlFixture.h"
#include "ControlHost.h"
#include "RecordingEventSink.h"
#include "StrictFake.h"
#include "UniqueHandle.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_RECOMPOSEONRESIZE;
constexpr HRESULT kLinkError = towerLinkError(TOWERLINK_E_NOT_OPENED);

HWND faceOf(IUnknown* control) {
    ComPtr<IOleWindow> window;
    HWND face = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IOleWindow, window.putVoid())))
        window->GetWindow(&face);
    return face;
}

// A picture in memory, blank to draw into or a copy of the screen from its top-left corner.
class Picture {
public:
    Picture(int width, int height, bool ofScreen = false) : dc_(CreateCompatibleDC(nullptr)) {
        HDC screen = GetDC(nullptr);
        bitmap_ = GdiObject<HBITMAP>(CreateCompatibleBitmap(screen, width, height));
        old_ = SelectObject(dc_, bitmap_.get());
        if (ofScreen) BitBlt(dc_, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        ReleaseDC(nullptr, screen);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    // Pixels within the rectangle whose colour is not background.
    int countOther(const RECT& area, COLORREF background) const {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) count += GetPixel(dc_, x, y) != background;
        return count;
    }

private:
    HDC dc_;
    GdiObject<HBITMAP> bitmap_;
    HGDIOBJ old_ = nullptr;
};

// Dispatches this thread's messages, paint requests included, until none has come for a moment.
void pump() {
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    } while (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0);
}

// A form that hosts the control the way a C++ program does on Windows: atl.dll's AtlAxWin window,
// which creates the control named by its title and activates it in place, as the console hosts it.
class Hosting : public testing::Test {
protected:
    void SetUp() override {
        resetFakeLink();
        // AtlAxWin finds the control by its ProgID, as any container does.
        ASSERT_HRESULT_SUCCEEDED(library_.registerServer());
    }
    void TearDown() override { close(); }
    std::vector<std::wstring>& calls() { return fakeLink().calls; }

    // A visible top-level form (any window class will do) with one host of 320 by 240.
    void open() {
        form_ = CreateWindowExW(0, L"Static", L"Kestrel hosting test",
                                WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 20, 20, 360, 280, nullptr,
                                nullptr, nullptr, nullptr);
        host_.emplace(form_, RECT{20, 20, 340, 260}, 1, L"kestrel.RcxPilot");
        pump();
        ASSERT_TRUE(host_->control()) << testing::PrintToString(host_->failure().description);
    }
    // The host object's reference goes first, so that the window's end is the control's last.
    void close() {
        host_.reset();
        if (form_) DestroyWindow(form_);
        form_ = nullptr;
        pump();
    }

    FakeLinkRegistration registration_;
    KestrelLibrary library_;
    MessageBoxHook boxes_;
    HWND form_ = nullptr;
    std::optional<console::ControlHost> host_;
};

TEST_F(Hosting, ShowsItsFaceInAnAtlAxWinFormAndItsBoxesOverTheForm) {
    ASSERT_NO_FATAL_FAILURE(open());
    HWND face = faceOf(host_->control());
    ASSERT_TRUE(face);
    EXPECT_EQ(host_->window(), GetParent(face));
    EXPECT_TRUE(IsWindowVisible(face));
    RECT faceRect{}, hostRect{};
    GetClientRect(face, &faceRect);
    GetClientRect(host_->window(), &hostRect);
    EXPECT_TRUE(EqualRect(&faceRect, &hostRect)) << "the face fills the place the host gives it";

    HWND label = FindWindowExW(face, nullptr, L"Static", nullptr);
    // Its text is start-up's, read from the kept face when the host has gone (below).
    ASSERT_TRUE(label);
    HDC dc = GetDC(face);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(face, dc);
    RECT labelRect{};
    GetWindowRect(label, &labelRect);
    MapWindowPoints(nullptr, face, reinterpret_cast<POINT*>(&labelRect), 2);
    EXPECT_NEAR(MulDiv(120, dpi, 1440), labelRect.left, 1);
    EXPECT_NEAR(MulDiv(120, dpi, 1440), labelRect.top, 1);
    EXPECT_NEAR(MulDiv(4575, dpi, 1440), labelRect.right - labelRect.left, 1);
    EXPECT_NEAR(MulDiv(3255, dpi, 1440), labelRect.bottom - labelRect.top, 1);
    // A label's own font, not the bold system font; how the font maps is ConsoleFormTest's.
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    EXPECT_STREQ(L"MS Sans Serif", font.lfFaceName);

    pump();
    Picture shot(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), true);
    MapWindowPoints(face, nullptr, reinterpret_cast<POINT*>(&labelRect), 2);
    POINT faceCorner{2, 2};
    ClientToScreen(face, &faceCorner);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(shot.dc(), faceCorner.x, faceCorner.y));
    EXPECT_GT(shot.countOther(labelRect, GetSysColor(COLOR_BTNFACE)), 0) << "the caption shows";

    // Its message boxes belong to the form that holds it.
    fakeLink().failures[L"GetInfo 6"] = {kLinkError, L"No setting", L""};
    host_->control()->Reconnect();
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ(L"No Err.HelpFile", boxes_.boxes()[0].text);
    EXPECT_EQ(form_, boxes_.boxes()[0].owner);
}

// A container that closes the control but still holds it has not destroyed it: terminate waits
// for the last reference, and the face lives on hidden with its text.
TEST_F(Hosting, TerminatesOnceWhenTheHostClosesAndTheLastReferenceGoes) {
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "a reference kept" : "the host's only");
        ASSERT_NO_FATAL_FAILURE(open());
        ComPtr<_RcxPilot> kept = keep ? ComPtr<_RcxPilot>(host_->control()) : nullptr;
        calls().clear();
        close();
        EXPECT_EQ(keep ? 0 : 1, std::ranges::count(calls(), L"ClosePort"));
        if (keep) {
            HWND face = faceOf(kept.get());
            ASSERT_TRUE(face) << "made again after the host destroyed it";
            EXPECT_FALSE(IsWindowVisible(face));
            EXPECT_EQ(L"Ok", windowText(FindWindowExW(face, nullptr, L"Static", nullptr)));
            kept.reset();
            EXPECT_EQ(1, std::ranges::count(calls(), L"ClosePort")) << "terminate runs once";
        }
        EXPECT_EQ(0, fakeLink().liveLinks);
        EXPECT_EQ(S_OK, library_.canUnloadNow());
    }
}

class FakeClientSite final : public StrictFake<IOleClientSite> {
public:
    FakeClientSite()
        : StrictFake({IID_IOleClientSite}, "a site without a window is not asked for anything") {}
    STDMETHODIMP SaveObject() override { return unexpected(); }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return unexpected(); }
    STDMETHODIMP GetContainer(IOleContainer**) override { return unexpected(); }
    STDMETHODIMP ShowObject() override { return unexpected(); }
    STDMETHODIMP OnShowWindow(BOOL) override { return unexpected(); }
    STDMETHODIMP RequestNewObjectLayout() override { return unexpected(); }
};

class FakeAdviseSink final : public StrictFake<IAdviseSinkEx> {
public:
    FakeAdviseSink() : StrictFake({IID_IAdviseSink, IID_IAdviseSinkEx}, "only views and closes") {}
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override { unexpected(); }
    void STDMETHODCALLTYPE OnViewChange(DWORD aspect, LONG) override {
        if (aspect == DVASPECT_CONTENT) ++viewChanges;
        if (letGo) std::exchange(letGo, nullptr)();
    }
    void STDMETHODCALLTYPE OnRename(IMoniker*) override { unexpected(); }
    void STDMETHODCALLTYPE OnSave() override { unexpected(); }
    void STDMETHODCALLTYPE OnClose() override { ++closes; }
    void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override { unexpected(); }
    int viewChanges = 0;
    int closes = 0;
    std::function<void()> letGo;  // the container's part in the next view change
};

class FakePropertyBag final : public StrictFake<IPropertyBag> {
public:
    FakePropertyBag()
        : StrictFake({IID_IPropertyBag}, "the state is empty: nothing to read or write") {}
    STDMETHODIMP Read(LPCOLESTR, VARIANT*, IErrorLog*) override { return unexpected(); }
    STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return unexpected(); }
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
    EXPECT_EQ(S_OK, stream->GetSizeMax(&size));
    STATSTG stat{};
    ASSERT_HRESULT_SUCCEEDED(saved->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(0u, stat.cbSize.QuadPart) << "an empty state: any GetSizeMax covers it";
    EXPECT_EQ(S_OK, stream->Load(saved.get()));
    EXPECT_EQ(E_POINTER, stream->Save(nullptr, TRUE));
    EXPECT_EQ(E_POINTER, stream->Load(nullptr));

    auto bag = as<IPersistPropertyBag>(IID_IPersistPropertyBag);
    ASSERT_TRUE(bag);
    FakePropertyBag properties;
    EXPECT_EQ(S_OK, bag->InitNew());
    EXPECT_EQ(S_OK, bag->Save(&properties, TRUE, TRUE));
    EXPECT_EQ(S_OK, bag->Load(&properties, nullptr));
    EXPECT_EQ(E_POINTER, bag->Load(nullptr, nullptr));
    EXPECT_EQ(1u, properties.refs());
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
    // What the class describes is TypeLibraryTest's.
    EXPECT_EQ(CLSID_RcxPilot, TypeAttr(coclass.get())->guid);
}

TEST_F(Embedding, ConnectionPointAcceptsAndRefusesAsComSays) {
    RecordingEventSink sink(DIID___RcxPilot), second(DIID___RcxPilot);
    StrictFake<IUnknown> stranger({});
    {
        auto container = as<IConnectionPointContainer>(IID_IConnectionPointContainer);
        ASSERT_TRUE(container);
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(CONNECT_E_NOCONNECTION,
                  container->FindConnectionPoint(IID_IDispatch, point.put()));
        EXPECT_FALSE(point);
        ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID___RcxPilot, point.put()));
        IID iid = GUID_NULL;
        EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
        EXPECT_EQ(DIID___RcxPilot, iid);
        ComPtr<IConnectionPointContainer> back;
        ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.put()));
        EXPECT_EQ(container.get(), back.get());
        // What the listing holds is the shared point's own, checked with TowerLink's.
        ComPtr<IEnumConnectionPoints> points;
        EXPECT_EQ(S_OK, container->EnumConnectionPoints(points.put()));

        DWORD cookie = 0xdeadbeef;
        EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(&stranger, &cookie));
        EXPECT_EQ(0u, cookie);
        EXPECT_EQ(E_POINTER, point->Advise(nullptr, &cookie));
        ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
        DWORD secondCookie = 0;
        ASSERT_EQ(S_OK, point->Advise(&second, &secondCookie));
        EXPECT_NE(cookie, secondCookie);  // the first is not 0: Unadvise below refuses 0

        ComPtr<IEnumConnections> connections;
        ASSERT_EQ(S_OK, point->EnumConnections(connections.put()));
        CONNECTDATA data[3] = {};
        ULONG fetched = 0;
        EXPECT_EQ(S_FALSE, connections->Next(3, data, &fetched));
        ASSERT_EQ(2u, fetched);
        EXPECT_EQ(cookie, data[0].dwCookie);
        EXPECT_EQ(secondCookie, data[1].dwCookie);
        for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
        connections.reset();

        EXPECT_EQ(S_OK, point->Unadvise(cookie));
        EXPECT_EQ(1u, sink.refs()) << "an unadvised sink is released";
        EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
        EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(0));
        EXPECT_EQ(1u, stranger.refs());
    }
    // A sink still advised when the control goes is released with it.
    pilot_.reset();
    EXPECT_EQ(1u, second.refs());
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
    FakeAdviseSink sink, leaving;
    DWORD connection = 0, leavingConnection = 0;
    ASSERT_EQ(S_OK, object->Advise(&sink, &connection));
    ASSERT_EQ(S_OK, object->Advise(&leaving, &leavingConnection));
    EXPECT_EQ(S_OK, object->Unadvise(leavingConnection));
    EXPECT_EQ(1u, leaving.refs());

    auto control = as<IOleControl>(IID_IOleControl);
    CONTROLINFO info{};
    info.cAccel = 0xbeef;
    EXPECT_EQ(S_OK, control->GetControlInfo(&info));
    EXPECT_EQ(sizeof(CONTROLINFO), info.cb);
    EXPECT_EQ(0, info.cAccel);

    calls().clear();
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_SAVEIFDIRTY));
    EXPECT_EQ(1, sink.closes);
    EXPECT_EQ(1u, sink.refs()) << "closing lets go of the container's sinks";
    EXPECT_EQ(1u, site.refs()) << "and of its site";
    EXPECT_TRUE(calls().empty()) << "closing does not terminate the control";
    EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
}

// A container may let the control go inside a call that the control makes to it: the control
// stays until its own method has returned.
TEST_F(Embedding, StaysUntilItsCallReturnsWhenTheContainerLetsItGoInside) {
    FakeAdviseSink sink;
    IViewObject2* view = as<IViewObject2>(IID_IViewObject2).release();
    pilot_.reset();
    ULONG left = 0;
    sink.letGo = [&] { left = view->Release(); };
    EXPECT_EQ(S_OK, view->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST, &sink));
    EXPECT_NE(0u, left) << "the call holds a reference of its own";
    EXPECT_EQ(1u, sink.refs());
    EXPECT_EQ(1, std::ranges::count(calls(), L"ClosePort")) << "the control ends after the call";
}

TEST_F(Embedding, DrawsItsFaceIntoAMemoryDc) {
    auto view = as<IViewObject2>(IID_IViewObject2);
    ASSERT_TRUE(view);
    Picture picture(320, 240);
    const RECTL bounds{0, 0, 320, 240};
    EXPECT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.dc(),
                               &bounds, nullptr, nullptr, 0));
    EXPECT_EQ(DV_E_DVASPECT, view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, picture.dc(),
                                        &bounds, nullptr, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr,
                                       picture.dc(), nullptr, nullptr, nullptr, 0))
        << "no place to draw in";
    // The label lies at 8,8 to 313,225 of 320 by 240.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const int inLabel = picture.countOther({8, 8, 313, 225}, face);
    EXPECT_GT(inLabel, 0) << "the caption is drawn";
    EXPECT_EQ(inLabel, picture.countOther({0, 0, 320, 240}, face)) << "within the label only";
    SIZEL extent{};
    EXPECT_EQ(S_OK, view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent));
    EXPECT_EQ(8467, extent.cx);
}

TEST_F(Embedding, QuickActivatesWithTheContainersSiteAndSinks) {
    auto quick = as<IQuickActivate>(IID_IQuickActivate);
    ASSERT_TRUE(quick);
    FakeClientSite site;
    FakeAdviseSink view;
    RecordingEventSink events(DIID___RcxPilot);
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
    EXPECT_EQ(2u, site.refs());
    EXPECT_EQ(2u, events.refs());

    // A new caption asks the container's view to draw again.
    EXPECT_EQ(S_OK, pilot_->Reconnect());
    EXPECT_GT(view.viewChanges, 0);
    EXPECT_TRUE(events.heard.empty()) << "the control raises no events";

    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, as<IConnectionPointContainer>(IID_IConnectionPointContainer)
                        ->FindConnectionPoint(DIID___RcxPilot, point.put()));
    EXPECT_EQ(S_OK, point->Unadvise(control.dwEventCookie));
    auto object = as<IOleObject>(IID_IOleObject);
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(1u, site.refs());
    EXPECT_EQ(1u, view.refs());
    EXPECT_EQ(1u, events.refs());
    QACONTAINER tooSmall{};
    tooSmall.cbSize = 4;
    EXPECT_EQ(E_INVALIDARG, quick->QuickActivate(&tooSmall, &control));
}

}  // namespace
