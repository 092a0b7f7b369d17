// vellum-host for X11: sends host messages to the viewer, or plays the host.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <thread>

#include "host/x11_link.h"
#include "tools/host_cli.h"

namespace {

using vellum::host::Message;
using vellum::host::XWindow;
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
  g_stop = 1;
}

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr OpenDisplay() {
  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) std::fprintf(stderr, "vellum-host: cannot open the X display\n");
  return display;
}

int Send(const vellum::tools::SendCommand& send) {
  DisplayPtr display = OpenDisplay();
  if (!display) return vellum::tools::kExitError;
  const auto viewer = vellum::host::FindViewerWindow(display.get());
  if (!viewer) return vellum::tools::ReportDelivery(std::nullopt);
  return vellum::tools::ReportDelivery(vellum::host::SendMessage(
      display.get(), *viewer, {send.code, 0, send.payload}, vellum::tools::kDeliveryTimeoutMs));
}

int Wait(const vellum::tools::WaitCommand& wait) {
  DisplayPtr display = OpenDisplay();
  if (!display) return vellum::tools::kExitError;
  const auto deadline = Clock::now() + std::chrono::duration<double>(wait.timeout_seconds);
  for (;;) {
    if (vellum::host::FindViewerWindow(display.get())) return vellum::tools::kExitOk;
    if (Clock::now() >= deadline || g_stop) return vellum::tools::kExitNoViewer;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

XWindow CreateHostWindow(Display* display, const vellum::Bounds& g) {
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(
      display, RootWindow(display, screen), g.left, g.top, static_cast<unsigned>(g.width),
      static_cast<unsigned>(g.height), 0, BlackPixel(display, screen), WhitePixel(display, screen));
  XClassHint hint{};
  char name[] = "host";
  char window_class[] = "TFrmORUmain";
  hint.res_name = name;
  hint.res_class = window_class;
  XSetClassHint(display, window, &hint);
  XStoreName(display, window, "Host");
  XSizeHints size{};
  size.flags = USPosition | USSize;
  size.x = g.left;
  size.y = g.top;
  size.width = g.width;
  size.height = g.height;
  XSetWMNormalHints(display, window, &size);
  XSelectInput(display, window, PropertyChangeMask | StructureNotifyMask);
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

struct Answer {
  Clock::time_point due;
  XWindow to;
  std::string payload;
};

int Serve(const vellum::tools::ServeCommand& serve) {
  DisplayPtr display = OpenDisplay();
  DisplayPtr sender = OpenDisplay();
  if (!display || !sender) return vellum::tools::kExitError;
  const XWindow window = CreateHostWindow(display.get(), serve.geometry);
  const unsigned long doorbell = vellum::host::DoorbellAtom(display.get());
  const unsigned long copydata = vellum::host::CopyDataAtom(display.get());
  const auto start = Clock::now();
  const auto ended = [&] {
    return g_stop ||
           (serve.seconds && Clock::now() - start >= std::chrono::duration<double>(*serve.seconds));
  };

  std::deque<Answer> answers;
  while (!ended()) {
    if (serve.hang) {  // takes no messages: senders meet their time limit
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    bool take = false;
    while (XPending(display.get()) > 0) {
      XEvent event{};
      XNextEvent(display.get(), &event);
      take = take || (event.type == ClientMessage && event.xclient.message_type == doorbell) ||
             (event.type == PropertyNotify && event.xproperty.atom == copydata &&
              event.xproperty.state == PropertyNewValue);
    }
    if (take) {
      for (const Message& message : vellum::host::TakeMessages(display.get(), window)) {
        if (message.code != vellum::host::kRequest) continue;
        const std::string text = vellum::host::RequestText(message.payload);
        std::printf("REQUEST %s\n", text.c_str());
        std::fflush(stdout);
        if (!serve.answer || message.sender == 0) continue;
        if (const auto location = vellum::tools::ParseLocationRequest(text)) {
          const auto bytes = vellum::EncodeLocation(*location);
          answers.push_back(
              {Clock::now() + std::chrono::milliseconds(vellum::tools::kAnswerDelayMs),
               message.sender, std::string(bytes.begin(), bytes.end())});
        }
      }
    }
    while (!answers.empty() && answers.front().due <= Clock::now()) {
      const Answer answer = answers.front();
      answers.pop_front();
      vellum::host::SendMessage(
          sender.get(), answer.to,
          {vellum::host::kShowLocation, static_cast<std::uint32_t>(window), answer.payload},
          vellum::host::kRequestTimeoutMs);
    }
    pollfd fd{ConnectionNumber(display.get()), POLLIN, 0};
    poll(&fd, 1, answers.empty() ? 20 : 5);
  }
  return vellum::tools::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  return vellum::tools::RunHostCommandLine(argc, argv, {Send, Wait, Serve});
}
