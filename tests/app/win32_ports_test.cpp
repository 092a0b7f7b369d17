// The Windows front end's timers, pump and host link, run under Wine.
#include "app/win32/ports_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/win32_link.h"

namespace vellum {
namespace {

std::vector<UINT_PTR> g_ticks;
std::vector<host::Message> g_requests;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    g_ticks.push_back(wparam);
    return 0;
  }
  if (message == WM_COPYDATA) {
    g_requests.push_back(host::ReadCopyData(wparam, lparam));
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

HWND MakeWindow(const char* window_class, const char* title, int x, int y) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = window_class;
  RegisterClassA(&wc);
  return CreateWindowExA(0, window_class, title, WS_POPUP | WS_VISIBLE, x, y, 300, 200, nullptr,
                         nullptr, wc.hInstance, nullptr);
}

TEST(Win32Ports, TimersTickThroughThePumpUntilStopped) {
  HWND window = MakeWindow("VellumTimerTest", "timers", 0, 0);
  ASSERT_NE(window, nullptr);
  Win32Timers timers;
  timers.SetWindow(window);
  Win32Pump pump;
  g_ticks.clear();
  timers.Start(TimerId::kTimer3, 20);
  const std::uint64_t start = pump.NowMs();
  while (g_ticks.size() < 2 && pump.NowMs() - start < 5000)
    pump.ProcessMessages(PumpMode::kWait);
  timers.Stop(TimerId::kTimer3);
  ASSERT_GE(g_ticks.size(), 2u);
  TimerId id{};
  ASSERT_TRUE(Win32Timers::FromTimerId(g_ticks[0], &id));
  EXPECT_EQ(id, TimerId::kTimer3);
  const std::size_t ticks = g_ticks.size();
  const std::uint64_t stopped = pump.NowMs();
  while (pump.NowMs() - stopped < 100)
    pump.ProcessMessages(PumpMode::kWait);
  EXPECT_EQ(g_ticks.size(), ticks) << "no tick after the stop";
  EXPECT_FALSE(Win32Timers::FromTimerId(0, &id));
  EXPECT_FALSE(Win32Timers::FromTimerId(99, &id));
  DestroyWindow(window);
  UnregisterClassA("VellumTimerTest", GetModuleHandleA(nullptr));
}

TEST(Win32Ports, HostLinkFindsTheHostAndSendsRequestsWithTheViewersWindow) {
  Win32HostLink link;
  EXPECT_FALSE(link.FindHostWindow());
  EXPECT_EQ(link.HostWindowRect(), std::nullopt);
  HWND viewer = MakeWindow("TfrmHView", "Vellum", 0, 0);
  HWND host = MakeWindow("TFrmORUmain", "Host", 100, 120);
  ASSERT_NE(viewer, nullptr);
  ASSERT_NE(host, nullptr);
  link.SetOwnWindow(viewer);
  ASSERT_TRUE(link.FindHostWindow());
  const auto rect = link.HostWindowRect();
  ASSERT_TRUE(rect.has_value());
  EXPECT_EQ(rect->left, 100);
  EXPECT_EQ(rect->top, 120);
  EXPECT_EQ(rect->right - rect->left, 300);
  g_requests.clear();
  link.SendRequest("ALP3:16");
  ASSERT_EQ(g_requests.size(), 1u);
  EXPECT_EQ(g_requests[0].code, host::kRequest);
  EXPECT_EQ(g_requests[0].payload, std::string("ALP3:16\0", 8));
  EXPECT_EQ(g_requests[0].sender,
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(viewer)));
  DestroyWindow(host);
  EXPECT_EQ(link.HostWindowRect(), std::nullopt) << "a host that has gone has no rectangle";
  link.SendRequest("ALP1:1");  // to a window that has gone: nothing happens
  DestroyWindow(viewer);
  UnregisterClassA("TfrmHView", GetModuleHandleA(nullptr));
  UnregisterClassA("TFrmORUmain", GetModuleHandleA(nullptr));
}

}  // namespace
}  // namespace vellum
