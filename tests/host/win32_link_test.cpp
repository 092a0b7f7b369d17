// The WM_COPYDATA transport, run under Wine: a window of the viewer's class
// in this process receives what is sent to it.
#include "host/win32_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vellum::host {
namespace {

std::vector<Message> g_received;

LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COPYDATA) {
    g_received.push_back(ReadCopyData(wparam, lparam));
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// A window of the given class and title, destroyed with the object.
class TestWindow {
 public:
  TestWindow(const char* window_class, const char* title) : class_(window_class) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Receive;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = window_class;
    RegisterClassA(&wc);  // fails harmlessly when the class exists
    window_ = CreateWindowExA(0, window_class, title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              wc.hInstance, nullptr);
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  // The class goes with its last window, so other tests register their own.
  ~TestWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    UnregisterClassA(class_, GetModuleHandleA(nullptr));
  }
  HWND Get() const { return window_; }

 private:
  const char* class_;
  HWND window_ = nullptr;
};

TEST(Win32Link, ViewerAndHostAreFoundByClassAndCaption) {
  EXPECT_EQ(FindViewerWindow(), nullptr);
  {
    TestWindow other_title("TfrmHView", "Not Vellum");
    ASSERT_NE(other_title.Get(), nullptr);
    EXPECT_EQ(FindViewerWindow(), nullptr);
    TestWindow viewer("TfrmHView", "Vellum");
    ASSERT_NE(viewer.Get(), nullptr);
    EXPECT_EQ(FindViewerWindow(), viewer.Get());
    TestWindow host("TFrmORUmain", "Any title");
    ASSERT_NE(host.Get(), nullptr);
    EXPECT_EQ(FindHostWindow(), host.Get());
  }
  EXPECT_EQ(FindViewerWindow(), nullptr);
}

TEST(Win32Link, CopyDataCarriesCodePayloadAndSender) {
  TestWindow viewer("TfrmHView", "Vellum");
  ASSERT_NE(viewer.Get(), nullptr);
  g_received.clear();
  const HWND sender = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234));
  EXPECT_EQ(SendCopyData(viewer.Get(), sender, kRequest, RequestPayload("BET2:5"), 100),
            SendStatus::kTaken);
  EXPECT_EQ(SendCopyData(viewer.Get(), nullptr, kClose, "", 100), SendStatus::kTaken);
  ASSERT_EQ(g_received.size(), 2u);
  EXPECT_EQ(g_received[0], (Message{kRequest, 0x1234, std::string("BET2:5\0", 7)}));
  EXPECT_EQ(g_received[1], (Message{kClose, 0, ""}));
  EXPECT_EQ(SendCopyData(nullptr, nullptr, kClose, "", 100), SendStatus::kFailed);
}

TEST(Win32Link, ReadingAMissingStructureGivesAnEmptyMessage) {
  const Message message = ReadCopyData(7, 0);
  EXPECT_EQ(message, (Message{0, 7, ""}));
}

// A window whose thread takes no messages: the sender gives up on time.
TEST(Win32Link, AHungReceiverCostsTheSenderItsTimeLimit) {
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> release{false};
  std::thread hung([&] {
    TestWindow w("TfrmHungHost", "Hung");
    window = w.Get();
    while (!release)
      Sleep(10);  // no message loop
  });
  while (window == nullptr)
    Sleep(1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendCopyData(window, nullptr, kRequest, RequestPayload("X1:1"), 100),
            SendStatus::kTimedOut);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(2000))
      << "the sender must not wait for the hung window";
  release = true;
  hung.join();
}

}  // namespace
}  // namespace vellum::host
