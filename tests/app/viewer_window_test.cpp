// The Windows viewer window itself, under Wine: what it does with a change of
// scale that comes while it moves itself, and with one the system makes.
#include "app/win32/viewer_window_win.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include "app/win32/layout_win.h"

namespace vellum::win32 {
namespace {

// Plays the system: on a real pair of monitors of different scales, moving
// the window across sends WM_DPICHANGED from inside the move.
HWND g_target = nullptr;
RECT g_suggested{};
bool g_sent = false;

LRESULT CALLBACK SendDpiChangeDuringMove(int code, WPARAM wparam, LPARAM lparam) {
  const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && message->hwnd == g_target && message->message == WM_WINDOWPOSCHANGED &&
      !g_sent) {
    g_sent = true;
    SendMessageW(g_target, WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&g_suggested));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

RECT RectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(ViewerWindowScale, OurPlacementKeepsOurSizeADragTakesTheNewScalesAndTheSystemsIsTaken) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  {
    ViewerWindowWin viewer(GetModuleHandleW(nullptr));
    g_target = FindWindowW(kViewerClassW, nullptr);
    ASSERT_NE(g_target, nullptr);

    // The saved place at start, before the window is shown, on a monitor of
    // 150 %: the size we set is the size wanted.
    g_suggested = RECT{200, 150, 200 + 750, 150 + 450};
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, SendDpiChangeDuringMove, nullptr,
                                   GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    viewer.SetWindowBounds(Bounds{200, 150, 500, 300});
    UnhookWindowsHookEx(hook);
    EXPECT_TRUE(g_sent);
    EXPECT_TRUE(RectOf(g_target) == (RECT{200, 150, 700, 450}));

    // The user (or the system) moved it: its suggestion is taken.
    const RECT suggested{300, 200, 300 + 640, 200 + 420};
    SendMessageW(g_target, WM_DPICHANGED, MAKEWPARAM(120, 120),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_TRUE(RectOf(g_target) == suggested);

    // Shown, and dragged onto a monitor of another scale: the new scale's
    // size, where the drag puts the window.
    ShowWindow(g_target, SW_SHOWNOACTIVATE);
    g_sent = false;
    g_suggested = RECT{900, 100, 900 + 1000, 100 + 600};
    hook = SetWindowsHookExW(WH_CALLWNDPROCRET, SendDpiChangeDuringMove, nullptr,
                             GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    viewer.SetWindowBounds(Bounds{820, 140, 640, 420});
    UnhookWindowsHookEx(hook);
    EXPECT_TRUE(g_sent);
    EXPECT_TRUE(RectOf(g_target) == (RECT{820, 140, 820 + 1000, 140 + 600}));
  }
  OleUninitialize();
}

}  // namespace
}  // namespace vellum::win32
