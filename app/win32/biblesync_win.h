// The Windows viewer's link to other Bible programs (BibleSync): the portable
// link, driven by the message loop. The socket reports waiting datagrams as a
// window message (WSAAsyncSelect) to a message-only window of its own, which
// also carries the once-a-second tick, so the viewer's window is untouched.
// A flood never floods the message queue: the socket's messages are off
// while its datagrams are read, and what is still waiting after a batch is
// read at a timer, which Windows delivers only when no input or painting is
// due.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "core/location.h"
#include "core/ports.h"
#include "host/biblesync_link.h"

namespace vellum::win32 {

class Win32SyncLoop final : public host::SyncEventLoop {
 public:
  explicit Win32SyncLoop(HINSTANCE instance) : instance_(instance) {}
  Win32SyncLoop(const Win32SyncLoop&) = delete;
  Win32SyncLoop& operator=(const Win32SyncLoop&) = delete;
  ~Win32SyncLoop() override;

  std::optional<std::string> Start(std::uintptr_t socket, std::function<void()> on_readable,
                                   std::function<void()> on_tick) override;
  void Stop() override;
  bool Watching() const override { return watching_; }

 private:
  bool MakeWindow();
  // Reads a batch with the socket's messages off, then either asks for them
  // again (nothing left) or for the drain timer (more waiting).
  void Drain();
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HINSTANCE instance_;
  HWND window_ = nullptr;  // made at the first start, kept until the end
  bool class_registered_ = false;
  std::uintptr_t socket_ = 0;
  bool watching_ = false;
  std::function<void()> on_readable_;
  std::function<void()> on_tick_;
};

class Win32SyncLink {
 public:
  // on_location receives each place another program went to. With
  // VELLUM_TRACE set, every event is told on standard error.
  // on_notice receives a word for the title bar.
  Win32SyncLink(HINSTANCE instance, std::function<void(const TbcvRec&)> on_location,
                std::function<void(const std::string&)> on_notice);
  Win32SyncLink(const Win32SyncLink&) = delete;
  Win32SyncLink& operator=(const Win32SyncLink&) = delete;

  SyncLinkPort& Port() { return link_; }

 private:
  Win32SyncLoop loop_;
  host::BibleSyncLink link_;  // declared last: leaves before the loop goes
};

}  // namespace vellum::win32
