// The mouse hook with real (injected) mouse input under Wine. Wine has no
// engine to render a page, so no control ever makes the window the page is
// drawn in; a window of that class stands in for it here.
#include "app/win32/link_hook_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/win32/ports_win.h"

namespace vellum::win32 {
namespace {

struct Received {
  HWND window;
  UINT message;
};
std::vector<Received> g_received;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE)
    g_received.push_back({window, message});
  return DefWindowProcA(window, message, wparam, lparam);
}

class LinkHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const char* name : {"VellumHookTop", "Internet Explorer_Server", "VellumTitleBar"}) {
      WNDCLASSA wc{};
      wc.lpfnWndProc = RecordingProc;
      wc.hInstance = instance;
      wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
      wc.lpszClassName = name;
      RegisterClassA(&wc);
    }
    top_ = CreateWindowExA(0, "VellumHookTop", "hook", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                           nullptr, nullptr, instance, nullptr);
    ASSERT_NE(top_, nullptr);
    title_ = CreateWindowExA(0, "VellumTitleBar", "", WS_CHILD | WS_VISIBLE, 0, 0, 400, 26, top_,
                             nullptr, instance, nullptr);
    page_ = CreateWindowExA(0, "Internet Explorer_Server", "", WS_CHILD | WS_VISIBLE, 0, 26, 400,
                            274, top_, nullptr, instance, nullptr);
    ASSERT_NE(title_, nullptr);
    ASSERT_NE(page_, nullptr);
    SetForegroundWindow(top_);
    Pump(100);
    g_received.clear();
  }
  void TearDown() override {
    hook_.Remove();
    DestroyWindow(top_);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const char* name : {"VellumHookTop", "Internet Explorer_Server", "VellumTitleBar"})
      UnregisterClassA(name, instance);
  }
  void Pump(std::uint64_t ms) {
    const std::uint64_t start = pump_.NowMs();
    while (pump_.NowMs() - start < ms)
      pump_.ProcessMessages(PumpMode::kWait);
  }
  // A right click at a point of the screen, as the user's mouse makes it.
  void RightClickAt(int x, int y) {
    SetCursorPos(x, y);
    INPUT inputs[2]{};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    ASSERT_EQ(SendInput(2, inputs, sizeof(INPUT)), 2u);
    Pump(300);
  }
  int Count(HWND window, UINT message) const {
    int n = 0;
    for (const Received& r : g_received)
      n += r.window == window && r.message == message;
    return n;
  }

  Win32Pump pump_;
  LinkHook hook_;
  std::vector<POINT> menus_;
  HWND top_ = nullptr;
  HWND title_ = nullptr;
  HWND page_ = nullptr;
};

TEST_F(LinkHookTest, RightClicksOnThePageOpenOurMenuAndNeverReachThePage) {
  ASSERT_TRUE(hook_.Install([this](POINT cursor) { menus_.push_back(cursor); }));
  RightClickAt(200, 150);
  ASSERT_EQ(menus_.size(), 1u) << "one click, one menu";
  EXPECT_EQ(menus_[0].x, 200);
  EXPECT_EQ(menus_[0].y, 150);
  EXPECT_EQ(Count(page_, WM_RBUTTONDOWN) + Count(page_, WM_RBUTTONUP), 0);
  RightClickAt(210, 160);
  EXPECT_EQ(menus_.size(), 2u);
}

TEST_F(LinkHookTest, APeekThatLeavesTheClickQueuedOpensNothing) {
  ASSERT_TRUE(hook_.Install([this](POINT cursor) { menus_.push_back(cursor); }));
  SetCursorPos(200, 150);
  INPUT press{};
  press.type = INPUT_MOUSE;
  press.mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
  ASSERT_EQ(SendInput(1, &press, sizeof(INPUT)), 1u);
  // Looking at the queue (HC_NOREMOVE) is not taking the click.
  MSG msg{};
  for (int i = 0; i < 50 && !PeekMessageA(&msg, nullptr, WM_RBUTTONDOWN, WM_RBUTTONDOWN,
                                          PM_NOREMOVE | PM_NOYIELD);
       ++i)
    Sleep(10);
  EXPECT_TRUE(menus_.empty()) << "a peek opened the menu";
  Pump(200);
  EXPECT_EQ(menus_.size(), 1u) << "taking the click opens it once";
  INPUT release{};
  release.type = INPUT_MOUSE;
  release.mi.dwFlags = MOUSEEVENTF_RIGHTUP;
  ASSERT_EQ(SendInput(1, &release, sizeof(INPUT)), 1u);
  Pump(200);
  EXPECT_EQ(menus_.size(), 1u) << "the release belongs to the press";
}

TEST_F(LinkHookTest, AReleaseOnThePageWhosePressWasElsewhereStillAsks) {
  ASSERT_TRUE(hook_.Install([this](POINT cursor) { menus_.push_back(cursor); }));
  SetCursorPos(200, 10);  // the title bar
  INPUT press{};
  press.type = INPUT_MOUSE;
  press.mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
  ASSERT_EQ(SendInput(1, &press, sizeof(INPUT)), 1u);
  Pump(100);
  SetCursorPos(200, 150);
  INPUT release{};
  release.type = INPUT_MOUSE;
  release.mi.dwFlags = MOUSEEVENTF_RIGHTUP;
  ASSERT_EQ(SendInput(1, &release, sizeof(INPUT)), 1u);
  Pump(200);
  EXPECT_EQ(Count(title_, WM_RBUTTONDOWN), 1);
  EXPECT_EQ(menus_.size(), 1u);
  EXPECT_EQ(Count(page_, WM_RBUTTONUP), 0);
}

TEST_F(LinkHookTest, RightClicksElsewhereAndAfterRemovalPassThrough) {
  ASSERT_TRUE(hook_.Install([this](POINT cursor) { menus_.push_back(cursor); }));
  RightClickAt(200, 10);  // the title bar
  EXPECT_TRUE(menus_.empty());
  EXPECT_EQ(Count(title_, WM_RBUTTONDOWN), 1);
  EXPECT_EQ(Count(title_, WM_RBUTTONUP), 1);

  hook_.Remove();
  EXPECT_FALSE(hook_.Installed());
  RightClickAt(200, 150);
  EXPECT_TRUE(menus_.empty());
  EXPECT_EQ(Count(page_, WM_RBUTTONDOWN), 1);
  EXPECT_EQ(Count(page_, WM_RBUTTONUP), 1);
}

TEST_F(LinkHookTest, OneHookPerThread) {
  ASSERT_TRUE(hook_.Install([](POINT) {}));
  LinkHook second;
  EXPECT_FALSE(second.Install([](POINT) {}));
  // Installing again replaces the first one's own hook.
  EXPECT_TRUE(hook_.Install([](POINT) {}));
}

}  // namespace
}  // namespace vellum::win32
