// The WebBrowser control hosted by our site, run under Wine (which has the
// control and its events but no engine to render a page).
#include "browser/ie_browser_win.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "app/win32/ports_win.h"
#include "tests/browser/event_args.h"

namespace vellum {
namespace {

class IeBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VellumBrowserTest";
    RegisterClassA(&wc);
    parent_ = CreateWindowExA(0, wc.lpszClassName, "browser", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                              nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    browser_.Close();
    DestroyWindow(parent_);
    UnregisterClassA("VellumBrowserTest", GetModuleHandleA(nullptr));
    OleUninitialize();
  }
  // Pumps messages until the page is no longer loading; the time it took.
  std::uint64_t WaitForPage(std::uint64_t limit_ms = 5000) {
    const std::uint64_t start = pump_.NowMs();
    while (browser_.Status() == PageStatus::kLoading && pump_.NowMs() - start < limit_ms)
      pump_.ProcessMessages(PumpMode::kWait);
    return pump_.NowMs() - start;
  }
  void Pump(std::uint64_t ms) {
    const std::uint64_t start = pump_.NowMs();
    while (pump_.NowMs() - start < ms)
      pump_.ProcessMessages(PumpMode::kWait);
  }

  HWND parent_ = nullptr;
  Win32Pump pump_;
  std::vector<std::string> urls_;
  bool cancel_ = false;
  IeBrowser browser_{[this](std::string_view url) {
    urls_.emplace_back(url);
    return cancel_;
  }};
};

// Processes what is pending a few times, without waiting: a navigation the
// control cannot carry out must be over by then.
PageStatus SettledStatus(IeBrowser& browser, Win32Pump& pump) {
  for (int i = 0; i < 5 && browser.Status() == PageStatus::kLoading; ++i)
    pump.ProcessMessages(PumpMode::kPending);
  return browser.Status();
}

TEST_F(IeBrowserTest, TheControlIsCreatedInPlaceAndReportsTheViewersOwnNavigations) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  HWND control = browser_.ControlWindow();
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(IsChild(parent_, control));
  RECT place{};
  ASSERT_TRUE(GetWindowRect(control, &place));
  MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&place), 2);
  EXPECT_EQ(place.top, 26);
  EXPECT_EQ(place.right - place.left, 400);

  const char* urls[] = {"about:blank", "C:\\windows\\win.ini", "C:\\library\\alpha.htm#TOC"};
  for (const char* url : urls) {
    EXPECT_TRUE(browser_.Navigate(url)) << url;
    SettledStatus(browser_, pump_);
  }
  ASSERT_EQ(urls_.size(), 3u);
  for (std::size_t i = 0; i < urls_.size(); ++i)
    EXPECT_EQ(urls_[i], urls[i]);
  EXPECT_EQ(browser_.BeforeNavigateEvents(), 3);

  // A resize moves the control with its place.
  browser_.SetRect(RECT{0, 26, 300, 200});
  ASSERT_TRUE(GetWindowRect(control, &place));
  EXPECT_EQ(place.right - place.left, 300);
}

TEST_F(IeBrowserTest, ANavigationErrorEndsThePageWaitWithoutWaiting) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  ASSERT_TRUE(browser_.Navigate("C:\\nowhere\\missing.htm"));
  EXPECT_EQ(SettledStatus(browser_, pump_), PageStatus::kFailed);
  EXPECT_GE(browser_.NavigateErrorEvents(), 1);
  // Each navigation that fails says so once.
  const int errors = browser_.NavigateErrorEvents();
  ASSERT_TRUE(browser_.Navigate("C:\\nowhere\\other.htm"));
  EXPECT_EQ(SettledStatus(browser_, pump_), PageStatus::kFailed);
  EXPECT_EQ(browser_.NavigateErrorEvents(), errors + 1);
}

TEST_F(IeBrowserTest, ACancelledNavigationIsReportedOnceAndNotFollowed) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  cancel_ = true;
  ASSERT_TRUE(browser_.Navigate("C:\\library\\alpha.htm$BCVALP3:16"));
  Pump(200);
  EXPECT_EQ(urls_, std::vector<std::string>{"C:\\library\\alpha.htm$BCVALP3:16"});
  EXPECT_EQ(browser_.NavigateErrorEvents(), 0) << "a cancelled navigation loads nothing";
}

TEST_F(IeBrowserTest, WithoutADocumentThePageQueriesFailQuietly) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  EXPECT_FALSE(browser_.AnchorNames().has_value());
  EXPECT_FALSE(browser_.AnchorCount().has_value());
  EXPECT_FALSE(browser_.ScrollIntoView(0));
  browser_.Copy();
  browser_.Focus();
}

// The control's own IDispatch, as it names itself as the top frame.
IDispatch* TopFrame(IeBrowser& browser) {
  return browser.Control().Get();
}

TEST_F(IeBrowserTest, ANewWindowNeverOpensAndItsCrossReferenceStillGoesToTheViewer) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  for (bool viewer_cancels : {true, false}) {
    cancel_ = viewer_cancels;
    urls_.clear();
    EventArgs args(kDispidNewWindow3, nullptr, L"file:///C:/web.htm/alpha.htm$BCVALP3:16");
    DISPPARAMS& params = args.params;
    ASSERT_EQ(browser_.Site()->Invoke(kDispidNewWindow3, IID_NULL, 0, DISPATCH_METHOD, &params,
                                      nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(args.cancel, VARIANT_TRUE) << "whatever the viewer answers, no window opens";
    EXPECT_EQ(urls_, std::vector<std::string>{"file:///C:/web.htm/alpha.htm$BCVALP3:16"});
  }
  EXPECT_EQ(browser_.NewWindowEvents(), 2);
}

TEST_F(IeBrowserTest, OnlyTheTopFrameDecidesThatThePageFailedOrIsWhole) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  Frame inner;
  const auto deliver = [&](DISPID event, IDispatch* frame) {
    EventArgs args(event, frame, L"file:///C:/web.htm/alpha.htm");
    browser_.Site()->Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &args.params, nullptr, nullptr,
                            nullptr);
  };
  // A page the control is loading: our Navigate, then its events arrive as
  // the page's frames go along.
  ASSERT_TRUE(browser_.Navigate("about:blank"));
  SettledStatus(browser_, pump_);
  ASSERT_TRUE(browser_.Navigate("about:blank"));
  // A DocumentComplete before the navigation has started (its BeforeNavigate2
  // withheld) belongs to the page before it.
  cancel_ = true;
  deliver(kDispidBeforeNavigate2, TopFrame(browser_));
  deliver(kDispidDocumentComplete, TopFrame(browser_));
  EXPECT_EQ(browser_.Status(), PageStatus::kLoading);
  cancel_ = false;
  deliver(kDispidBeforeNavigate2, TopFrame(browser_));
  deliver(kDispidNavigateError, &inner);
  EXPECT_NE(browser_.Status(), PageStatus::kFailed) << "a failing frame inside is not the page";
  deliver(kDispidDocumentComplete, &inner);
  EXPECT_EQ(browser_.Status(), PageStatus::kLoading) << "a frame inside is whole, not the page";
  deliver(kDispidDocumentComplete, TopFrame(browser_));
  EXPECT_EQ(browser_.Status(), PageStatus::kInteractive);
  deliver(kDispidNavigateError, TopFrame(browser_));
  EXPECT_EQ(browser_.Status(), PageStatus::kFailed);
}

TEST_F(IeBrowserTest, TheControlIsNoDropTargetAndReadsItsAmbientsFromTheSite) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  VARIANT_BOOL drop = VARIANT_TRUE;
  ASSERT_EQ(browser_.Control()->get_RegisterAsDropTarget(&drop), S_OK);
  EXPECT_EQ(drop, VARIANT_FALSE) << "a file dropped on the page must not replace it";
  EXPECT_NE(browser_.Site()->AmbientsAsked(), 0u) << "the control asks its site while it starts";
}

TEST_F(IeBrowserTest, EachNewDocumentIsMadeNoDropTargetAgain) {
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  // The control forgets the setting with each new document, as if this had
  // been done: every top frame's NavigateComplete2 sets it again.
  VARIANT_BOOL drop = VARIANT_FALSE;
  ASSERT_EQ(browser_.Control()->put_RegisterAsDropTarget(VARIANT_TRUE), S_OK);
  ASSERT_EQ(browser_.Control()->get_RegisterAsDropTarget(&drop), S_OK);
  if (drop != VARIANT_TRUE) GTEST_SKIP() << "this control does not keep the setting (Wine)";
  Frame inner;
  for (IDispatch* frame : {static_cast<IDispatch*>(&inner), TopFrame(browser_)}) {
    EventArgs args(kDispidNavigateComplete2, frame, L"file:///C:/web.htm/alpha.htm");
    browser_.Site()->Invoke(kDispidNavigateComplete2, IID_NULL, 0, DISPATCH_METHOD, &args.params,
                            nullptr, nullptr, nullptr);
    ASSERT_EQ(browser_.Control()->get_RegisterAsDropTarget(&drop), S_OK);
    EXPECT_EQ(drop, frame == &inner ? VARIANT_TRUE : VARIANT_FALSE);
  }
}

TEST_F(IeBrowserTest, AClosedOrNeverCreatedControlRefusesWork) {
  EXPECT_FALSE(browser_.Navigate("about:blank"));
  EXPECT_EQ(browser_.Status(), PageStatus::kFailed);
  EXPECT_EQ(browser_.ControlWindow(), nullptr);
  ASSERT_EQ(browser_.Create(parent_, RECT{0, 26, 400, 300}), S_OK);
  browser_.Close();
  EXPECT_FALSE(browser_.Created());
  EXPECT_FALSE(browser_.Navigate("about:blank"));
  EXPECT_TRUE(urls_.empty());
  browser_.Copy();
}

}  // namespace
}  // namespace vellum
