// Winsock's header comes before <windows.h>, whose older winsock.h would
// otherwise be the one included.
#include <winsock2.h>

#include "app/win32/biblesync_win.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/guarded.h"
#include "platform/wide_text_win.h"
#include "vellum_version.h"

namespace vellum::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"VellumBibleSync";
// The socket's notification: wParam is the socket, lParam the event and error.
constexpr UINT kSocketMessage = WM_APP + 40;
constexpr UINT_PTR kTickTimer = 1;
// Reads what a batch left waiting. USER_TIMER_MINIMUM: as soon as the queue
// has no input or painting before it.
constexpr UINT_PTR kDrainTimer = 2;

host::biblesync::Identity ThisProgram() {
  host::biblesync::Identity identity;
  identity.application = "Vellum";
  identity.version = kVersion;
  wchar_t name[257] = {};
  DWORD size = 257;
  identity.user = GetUserNameW(name, &size) ? WideToUtf8(name) : std::string("unknown");
  identity.os = "Windows";
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      identity.device = "x86_64";
      break;
    case PROCESSOR_ARCHITECTURE_ARM64:
      identity.device = "arm64";
      break;
    case PROCESSOR_ARCHITECTURE_INTEL:
      identity.device = "x86";
      break;
    default:
      identity.device = "unknown";
      break;
  }
  return identity;
}

void TraceLine(const std::string& line) {
  std::fprintf(stderr, "vellum: biblesync: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

Win32SyncLoop::~Win32SyncLoop() {
  Stop();
  if (window_ != nullptr) DestroyWindow(window_);
  if (class_registered_) UnregisterClassW(kWindowClass, instance_);
}

bool Win32SyncLoop::MakeWindow() {
  if (window_ != nullptr) return true;
  if (!class_registered_) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = Procedure;
    window_class.hInstance = instance_;
    window_class.lpszClassName = kWindowClass;
    if (RegisterClassW(&window_class) == 0) return false;
    class_registered_ = true;
  }
  // A message-only window: never shown, never enumerated, only messages.
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_,
                            nullptr);
  if (window_ == nullptr) return false;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

std::optional<std::string> Win32SyncLoop::Start(std::uintptr_t socket,
                                                std::function<void()> on_readable,
                                                std::function<void()> on_tick) {
  Stop();
  if (!MakeWindow()) return "no window for the socket's messages";
  on_readable_ = std::move(on_readable);
  on_tick_ = std::move(on_tick);
  socket_ = socket;
  // WSAAsyncSelect posts kSocketMessage when a datagram waits (at once when
  // one waits already), and again after each recvfrom that leaves one
  // waiting (WSAAsyncSelect, Microsoft Learn: "re-enabling function"); Drain
  // turns that off around its reads.
  if (WSAAsyncSelect(static_cast<SOCKET>(socket), window_, kSocketMessage, FD_READ) != 0) {
    char text[64];
    std::snprintf(text, sizeof text, "the socket could not be watched (error %d)",
                  WSAGetLastError());
    return std::string(text);
  }
  watching_ = true;
  if (SetTimer(window_, kTickTimer, kTickMs, nullptr) == 0) {
    Stop();
    return "no timer for the beacons";
  }
  return std::nullopt;
}

void Win32SyncLoop::Stop() {
  if (watching_) WSAAsyncSelect(static_cast<SOCKET>(socket_), window_, 0, 0);
  watching_ = false;
  if (window_ != nullptr) {
    KillTimer(window_, kTickTimer);
    KillTimer(window_, kDrainTimer);
  }
}

void Win32SyncLoop::Drain() {
  const auto s = static_cast<SOCKET>(socket_);
  KillTimer(window_, kDrainTimer);
  // Off: each read that leaves a datagram waiting would post one more
  // message, one per datagram of a flood, ahead of input and painting.
  if (WSAAsyncSelect(s, window_, 0, 0) != 0) return;
  const std::function<void()> callback = on_readable_;
  Guarded([&] { callback(); });
  // The link may have left, or joined again on another socket.
  if (!watching_ || socket_ != static_cast<std::uintptr_t>(s)) return;
  u_long waiting = 0;
  if (ioctlsocket(s, FIONREAD, &waiting) == 0 && waiting > 0 &&
      SetTimer(window_, kDrainTimer, USER_TIMER_MINIMUM, nullptr) != 0)
    return;
  // Nothing left (or no timer): the socket's message again, posted at once
  // should a datagram have come meanwhile.
  if (WSAAsyncSelect(s, window_, kSocketMessage, FD_READ) != 0) {
    std::fprintf(stderr, "vellum: biblesync: the socket could not be watched again (error %d)\n",
                 WSAGetLastError());
    watching_ = false;
  }
}

LRESULT CALLBACK Win32SyncLoop::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<Win32SyncLoop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // Copies of the callbacks run: the link may stop or start the loop inside.
  if (self != nullptr && message == kSocketMessage) {
    // A message still queued from a socket since closed is not this one's.
    if (self->watching_ && static_cast<std::uintptr_t>(wparam) == self->socket_ &&
        WSAGETSELECTEVENT(lparam) == FD_READ)
      self->Drain();
    return 0;
  }
  if (self != nullptr && message == WM_TIMER && wparam == kDrainTimer) {
    if (self->watching_) {
      self->Drain();
    } else {
      KillTimer(window, kDrainTimer);
    }
    return 0;
  }
  if (self != nullptr && message == WM_TIMER && wparam == kTickTimer) {
    if (self->watching_) {
      const std::function<void()> callback = self->on_tick_;
      Guarded([&] { callback(); });
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

Win32SyncLink::Win32SyncLink(HINSTANCE instance, std::function<void(const TbcvRec&)> on_location,
                             std::function<void(const std::string&)> on_notice)
    : loop_(instance),
      link_(ThisProgram(), loop_, std::move(on_location), std::move(on_notice),
            std::getenv("VELLUM_TRACE") != nullptr ? host::BibleSyncLink::Trace(TraceLine)
                                                   : host::BibleSyncLink::Trace()) {}

}  // namespace vellum::win32
