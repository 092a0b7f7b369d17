// vellum-host for Windows: sends host messages to the viewer over WM_COPYDATA,
// or plays the host.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <exception>
#include <string>
#include <thread>

#include "host/win32_link.h"
#include "tools/host_cli.h"

namespace {

using vellum::host::Message;
using Clock = std::chrono::steady_clock;

constexpr char kHostWindowClass[] = "TFrmORUmain";
constexpr UINT_PTR kAnswerTimer = 1;

int Send(const vellum::tools::SendCommand& send) {
  HWND viewer = vellum::host::FindViewerWindow();
  if (viewer == nullptr) return vellum::tools::ReportDelivery(std::nullopt);
  return vellum::tools::ReportDelivery(vellum::host::SendCopyData(
      viewer, nullptr, send.code, send.payload, vellum::tools::kDeliveryTimeoutMs));
}

int Wait(const vellum::tools::WaitCommand& wait) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(wait.timeout_seconds);
  for (;;) {
    if (vellum::host::FindViewerWindow() != nullptr) return vellum::tools::kExitOk;
    if (Clock::now() >= deadline) return vellum::tools::kExitNoViewer;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// The host window's state, reached from its window procedure.
struct HostState {
  bool answer = false;
  HWND window = nullptr;
  struct Answer {
    Clock::time_point due;
    HWND to;
    std::string payload;
  };
  std::deque<Answer> answers;
};
HostState g_host;

void SendDueAnswers() {
  while (!g_host.answers.empty() && g_host.answers.front().due <= Clock::now()) {
    const HostState::Answer answer = g_host.answers.front();
    g_host.answers.pop_front();
    vellum::host::SendCopyData(answer.to, g_host.window, vellum::host::kShowLocation,
                               answer.payload, vellum::host::kRequestTimeoutMs);
  }
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  try {
    if (message == WM_COPYDATA) {
      const Message received = vellum::host::ReadCopyData(wparam, lparam);
      if (received.code == vellum::host::kRequest) {
        const std::string text = vellum::host::RequestText(received.payload);
        std::printf("REQUEST %s\n", text.c_str());
        std::fflush(stdout);
        const auto location = vellum::tools::ParseLocationRequest(text);
        if (g_host.answer && location && wparam != 0) {
          const auto bytes = vellum::EncodeLocation(*location);
          g_host.answers.push_back(
              {Clock::now() + std::chrono::milliseconds(vellum::tools::kAnswerDelayMs),
               reinterpret_cast<HWND>(wparam), std::string(bytes.begin(), bytes.end())});
          SetTimer(window, kAnswerTimer, vellum::tools::kAnswerDelayMs, nullptr);
        }
      }
      return vellum::host::kCopyDataHandled;
    }
    if (message == WM_TIMER && wparam == kAnswerTimer) {
      SendDueAnswers();
      if (g_host.answers.empty()) KillTimer(window, kAnswerTimer);
      return 0;
    }
    if (message == WM_DESTROY) {
      PostQuitMessage(0);
      return 0;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum-host: %s\n", error.what());
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

int Serve(const vellum::tools::ServeCommand& serve) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = HostProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = kHostWindowClass;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  if (RegisterClassA(&window_class) == 0) {
    std::fprintf(stderr, "vellum-host: cannot register the host window class\n");
    return vellum::tools::kExitError;
  }
  const vellum::Bounds& g = serve.geometry;
  g_host.answer = serve.answer;
  g_host.window =
      CreateWindowExA(0, kHostWindowClass, "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, g.left, g.top,
                      g.width, g.height, nullptr, nullptr, window_class.hInstance, nullptr);
  if (g_host.window == nullptr) {
    std::fprintf(stderr, "vellum-host: cannot create the host window\n");
    return vellum::tools::kExitError;
  }
  if (!vellum::host::AcceptCopyDataFromAnyProcess(g_host.window))
    std::fprintf(stderr, "vellum-host: requests from a viewer with fewer rights may not arrive\n");
  const auto start = Clock::now();
  const auto ended = [&] {
    return serve.seconds && Clock::now() - start >= std::chrono::duration<double>(*serve.seconds);
  };
  while (!ended()) {
    if (serve.hang) {  // takes no messages: senders meet their time limit
      Sleep(20);
      continue;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return vellum::tools::kExitOk;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  DestroyWindow(g_host.window);
  return vellum::tools::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  return vellum::tools::RunHostCommandLine(argc, argv, {Send, Wait, Serve});
}
