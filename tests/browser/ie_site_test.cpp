// Our site object called directly, as the WebBrowser control calls it.
#include "browser/ie_site_win.h"

#include <exdisp.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "browser/com_win.h"
#include "browser/ie_events_win.h"

namespace vellum {
namespace {

class RecordingListener final : public SiteListener {
 public:
  void OnBrowserEvent(DISPID event, DISPPARAMS&) override {
    events.push_back(event);
    if (throw_on_event) throw std::runtime_error("handler failed");
  }
  void OnContextMenu(POINT screen) override { menus.push_back(screen); }
  bool DropsKey(const MSG& msg) override { return msg.wParam == VK_BACK; }

  std::vector<DISPID> events;
  std::vector<POINT> menus;
  bool throw_on_event = false;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The control's in-place object, recording where it is told to stand.
class FakeInPlaceObject final : public IOleInPlaceObject {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IOleInPlaceObject) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT place, LPCRECT clip) override {
    places.push_back(*place);
    clips.push_back(*clip);
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return S_OK; }

  ULONG references = 1;
  std::vector<RECT> places;
  std::vector<RECT> clips;
};
#pragma GCC diagnostic pop

bool operator==(const RECT& a, const RECT& b) {
  return EqualRect(&a, &b) != FALSE;
}

constexpr RECT kBelowTitleBar{0, 26, 469, 339};

class SiteTest : public ::testing::Test {
 protected:
  RecordingListener listener_;
  ComPtr<BrowserSite> site_ =
      ComPtr<BrowserSite>::Adopt(new BrowserSite(&listener_, nullptr, kBelowTitleBar));
};

TEST_F(SiteTest, TheControlFindsEveryInterfaceItAsksTheSiteFor) {
  const IID* asked[] = {&IID_IUnknown,          &IID_IOleClientSite,   &IID_IOleWindow,
                        &IID_IOleInPlaceSite,   &IID_IOleInPlaceFrame, &IID_IOleInPlaceUIWindow,
                        &IID_IDocHostUIHandler, &IID_IDispatch,        &DIID_DWebBrowserEvents2};
  for (const IID* iid : asked) {
    ComPtr<IUnknown> found;
    EXPECT_EQ(site_->QueryInterface(*iid, reinterpret_cast<void**>(found.Put())), S_OK);
    EXPECT_TRUE(found);
  }
  ComPtr<IUnknown> none;
  EXPECT_EQ(site_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(none.Put())),
            E_NOINTERFACE);
  EXPECT_FALSE(none);
}

TEST_F(SiteTest, InvokeAnswersAmbientsPassesEventsOnAndKnowsNoOtherMember) {
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(
      site_->Invoke(-709, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, &result, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(V_VT(&result), VT_BOOL);
  EXPECT_EQ(V_BOOL(&result), VARIANT_TRUE) << "user mode: links navigate, pages stay read-only";
  EXPECT_EQ(
      site_->Invoke(-5512, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, &result, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(V_I4(&result), AmbientDownloadControl());
  EXPECT_EQ(site_->AmbientsAsked(),
            BrowserSite::kAskedUserMode | BrowserSite::kAskedDownloadControl);

  DISPPARAMS none{};
  for (DISPID other : {-701, -710, 102, 251}) {
    VariantInit(&result);
    EXPECT_EQ(site_->Invoke(other, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none,
                            &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND)
        << other;
  }
  EXPECT_TRUE(listener_.events.empty()) << "only the events we read reach the browser";

  for (DISPID event : {kDispidBeforeNavigate2, kDispidDocumentComplete, kDispidNewWindow3})
    EXPECT_EQ(site_->Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              S_OK);
  EXPECT_EQ(listener_.events, (std::vector<DISPID>{kDispidBeforeNavigate2, kDispidDocumentComplete,
                                                   kDispidNewWindow3}));
}

TEST_F(SiteTest, AFailingHandlerOrADetachedOwnerNeverReachesTheControl) {
  DISPPARAMS none{};
  listener_.throw_on_event = true;
  EXPECT_EQ(site_->Invoke(kDispidDocumentComplete, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                          nullptr, nullptr),
            S_OK);
  site_->Detach();
  POINT at{5, 5};
  EXPECT_EQ(site_->ShowContextMenu(0, &at, nullptr, nullptr), S_OK);
  EXPECT_EQ(site_->Invoke(kDispidDocumentComplete, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                          nullptr, nullptr),
            S_OK);
  EXPECT_EQ(listener_.events.size(), 1u);
  EXPECT_TRUE(listener_.menus.empty());
}

TEST_F(SiteTest, TheControlStandsBelowTheTitleBarAndMovesWhereItAsks) {
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT position{};
  RECT clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  ASSERT_EQ(site_->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &info), S_OK);
  EXPECT_TRUE(position == kBelowTitleBar) << "not the whole client area: Panel1 stays visible";
  EXPECT_TRUE(clip == kBelowTitleBar);
  EXPECT_TRUE(frame);

  FakeInPlaceObject object;
  site_->SetInPlaceObject(&object);
  EXPECT_EQ(object.references, 2u);
  const RECT asked{0, 26, 300, 200};
  EXPECT_EQ(site_->OnPosRectChange(&asked), S_OK);
  ASSERT_EQ(object.places.size(), 1u);
  EXPECT_TRUE(object.places[0] == asked) << "the new place is granted through SetObjectRects";
  EXPECT_TRUE(site_->Place() == asked);
  ASSERT_EQ(site_->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &info), S_OK);
  EXPECT_TRUE(position == asked);
  site_->SetPlace(kBelowTitleBar);
  EXPECT_TRUE(object.places.back() == kBelowTitleBar);
  site_->SetInPlaceObject(nullptr);
  EXPECT_EQ(object.references, 1u);
  EXPECT_EQ(site_->OnPosRectChange(nullptr), E_POINTER);
}

TEST_F(SiteTest, TheControlShowsNoMenuAndNoBorderOfItsOwn) {
  POINT at{120, 240};
  EXPECT_EQ(site_->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr), S_OK);
  ASSERT_EQ(listener_.menus.size(), 1u);
  EXPECT_EQ(listener_.menus[0].x, 120);
  EXPECT_EQ(listener_.menus[0].y, 240);

  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  ASSERT_EQ(site_->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.cbSize, sizeof info);
  for (DWORD flag : {DWORD{DOCHOSTUIFLAG_NO3DBORDER}, DWORD{DOCHOSTUIFLAG_DPI_AWARE},
                     DWORD{DOCHOSTUIFLAG_NO3DOUTERBORDER}})
    EXPECT_NE(info.dwFlags & flag, 0u) << flag;
  EXPECT_EQ(info.dwFlags & DOCHOSTUIFLAG_OPENNEWWIN, 0u);
  EXPECT_EQ(site_->GetHostInfo(nullptr), E_POINTER);

  // The control asks the host about each shortcut: S_OK keeps it from acting.
  MSG back{nullptr, WM_KEYDOWN, VK_BACK, 0, 0, {}};
  MSG copy{nullptr, WM_KEYDOWN, 'C', 0, 0, {}};
  EXPECT_EQ(site_->TranslateAccelerator(&back, nullptr, 0), S_OK);
  EXPECT_EQ(site_->TranslateAccelerator(&copy, nullptr, 0), S_FALSE);
  EXPECT_EQ(site_->TranslateAccelerator(nullptr, nullptr, 0), S_FALSE);
}

TEST_F(SiteTest, EveryDocumentGetsADropTargetThatTakesNothing) {
  for (int document = 0; document < 2; ++document) {  // asked again for each one
    IDropTarget* target = nullptr;
    ASSERT_EQ(site_->GetDropTarget(nullptr, &target), S_OK);
    ASSERT_NE(target, nullptr);
    const struct {
      const char* what;
      std::function<HRESULT(DWORD*)> call;
    } steps[] = {
        {"enter",
         [&](DWORD* e) {
           return target->DragEnter(nullptr, MK_LBUTTON, {10, 10}, e);
         }},
        {"over",
         [&](DWORD* e) {
           return target->DragOver(MK_LBUTTON, {12, 12}, e);
         }},
        {"drop",
         [&](DWORD* e) {
           return target->Drop(nullptr, 0, {12, 12}, e);
         }},
    };
    for (const auto& step : steps) {
      DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
      EXPECT_EQ(step.call(&effect), S_OK) << step.what;
      EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE)) << step.what;
    }
    EXPECT_EQ(target->DragLeave(), S_OK);
    EXPECT_EQ(target->Release(), 0u);
  }
  EXPECT_EQ(site_->GetDropTarget(nullptr, nullptr), E_POINTER);
}

}  // namespace
}  // namespace vellum
