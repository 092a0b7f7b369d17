// The title bar's controls with real (injected) mouse input under Wine.
#include "app/win32/controls_win.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/win32/ports_win.h"

namespace vellum::win32 {
namespace {

struct Event {
  int id;
  ControlEvent event;
  POINT screen;
};

class Recorder final : public ControlListener {
 public:
  void OnControl(int id, ControlEvent event, POINT screen, POINT) override {
    events.push_back({id, event, screen});
  }
  std::vector<ControlEvent> Kinds() const {
    std::vector<ControlEvent> kinds;
    for (const Event& e : events)
      if (e.event != ControlEvent::kMouseMove) kinds.push_back(e.event);
    return kinds;
  }
  std::vector<Event> events;
};

constexpr int kButton = 7;
constexpr int kImage = 8;

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(RegisterControlClasses(instance));
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "VellumControlsTest";
    RegisterClassA(&wc);
    top_ = CreateWindowExA(0, wc.lpszClassName, "controls", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100,
                           nullptr, nullptr, instance, nullptr);
    ASSERT_NE(top_, nullptr);
    button_ =
        CreateSpeedButton(top_, kButton, L"<", RECT{10, 10, 60, 30}, ButtonLook{}, &recorder_);
    image_ =
        CreateImage(top_, kImage, NewDragHandle(), RECT{100, 10, 119, 29}, nullptr, &recorder_);
    ASSERT_NE(button_, nullptr);
    ASSERT_NE(image_, nullptr);
    SetForegroundWindow(top_);
    Pump(100);
  }
  void TearDown() override {
    DestroyWindow(top_);
    UnregisterClassA("VellumControlsTest", GetModuleHandleA(nullptr));
    UnregisterControlClasses(GetModuleHandleA(nullptr));
  }
  void Pump(std::uint64_t ms) {
    const std::uint64_t start = pump_.NowMs();
    while (pump_.NowMs() - start < ms)
      pump_.ProcessMessages(PumpMode::kWait);
  }
  void Mouse(DWORD flags, int x = -1, int y = -1) {
    if (x >= 0) {
      ASSERT_TRUE(SetCursorPos(x, y));
      Pump(50);
    }
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
    Pump(150);
  }

  Win32Pump pump_;
  Recorder recorder_;
  HWND top_ = nullptr;
  HWND button_ = nullptr;
  HWND image_ = nullptr;
};

using E = ControlEvent;

TEST_F(ControlsTest, ASpeedButtonClicksOnlyWhenReleasedOverItself) {
  Mouse(MOUSEEVENTF_LEFTDOWN, 30, 20);
  Mouse(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kMouseDown, E::kMouseUp, E::kClick}));

  recorder_.events.clear();
  Mouse(MOUSEEVENTF_LEFTDOWN, 30, 20);
  Mouse(MOUSEEVENTF_LEFTUP, 200, 80);  // released elsewhere: the button holds the mouse
  EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kMouseDown, E::kMouseUp}));
}

TEST_F(ControlsTest, RightAndMiddlePressesHoldLikeTheLeftButNeverClick) {
  // A hold on Back or Forward starts with whichever button is pressed.
  for (const auto& [down, up] : {std::pair{MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP},
                                 std::pair{MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP}}) {
    recorder_.events.clear();
    Mouse(down, 30, 20);
    EXPECT_EQ(GetCapture(), button_) << "the release must come back to the button";
    Mouse(up);
    EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kMouseDown, E::kMouseUp}));
  }
  // A press taken away ends as one release, whichever button made it.
  recorder_.events.clear();
  Mouse(MOUSEEVENTF_RIGHTDOWN, 30, 20);
  SetCapture(top_);
  Pump(50);
  ReleaseCapture();
  Mouse(MOUSEEVENTF_RIGHTUP);
  EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kMouseDown, E::kMouseUp}));
}

TEST_F(ControlsTest, APressTakenAwayEndsAsAReleaseAndOnlyOnce) {
  Mouse(MOUSEEVENTF_LEFTDOWN, 30, 20);
  ASSERT_EQ(GetCapture(), button_);
  SetCapture(top_);  // as a menu or another window taking the mouse would
  Pump(50);
  EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kMouseDown, E::kMouseUp}));
  ReleaseCapture();
  Mouse(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kMouseDown, E::kMouseUp}));
}

TEST_F(ControlsTest, ADisabledButtonTakesNoPressAndShowsItsCaption) {
  EnableWindow(button_, FALSE);
  Mouse(MOUSEEVENTF_LEFTDOWN, 30, 20);
  Mouse(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(recorder_.Kinds().empty());
  char caption[8] = {};
  GetWindowTextA(button_, caption, sizeof caption);
  EXPECT_STREQ(caption, "<") << "the caption given at creation";
}

TEST_F(ControlsTest, AnImageTellsWhenTheCaptureItHeldIsTakenAway) {
  // The drag handle captures the mouse for a drag; another window taking
  // the capture (a task switch, a dialog) ends the drag without a release.
  SetCapture(image_);
  Pump(50);
  SetCapture(top_);
  Pump(50);
  EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kCaptureLost}));
  ReleaseCapture();
  Pump(50);
  EXPECT_EQ(recorder_.Kinds(), (std::vector<E>{E::kCaptureLost})) << "only the image's own loss";
}

TEST_F(ControlsTest, ImagesReportEveryButtonWithScreenPoints) {
  Mouse(MOUSEEVENTF_RIGHTDOWN, 105, 15);
  Mouse(MOUSEEVENTF_RIGHTUP);
  Mouse(MOUSEEVENTF_LEFTDOWN, 110, 20);
  Mouse(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(recorder_.Kinds(),
            (std::vector<E>{E::kMouseDown, E::kMouseUp, E::kMouseDown, E::kMouseUp}));
  for (const Event& e : recorder_.events) {
    if (e.event != E::kMouseDown) continue;
    EXPECT_EQ(e.id, kImage);
    EXPECT_EQ(e.screen.x, 105);
    EXPECT_EQ(e.screen.y, 15);
    break;
  }
}

}  // namespace
}  // namespace vellum::win32
