// The thread mouse hook that opens our menu in place of the browser's own
// when the page is right-clicked.
#pragma once

#include <windows.h>

#include <functional>

namespace vellum::win32 {

class LinkHook {
 public:
  // Asked to open the menu with its corner at the cursor. Called inside the
  // hook, inside whichever GetMessage or PeekMessage took the click: it must
  // only post the request, never open anything modal.
  using OpenMenu = std::function<void(POINT cursor)>;

  LinkHook() = default;
  LinkHook(const LinkHook&) = delete;
  LinkHook& operator=(const LinkHook&) = delete;
  ~LinkHook() { Remove(); }

  // Installs the hook for the calling thread (one per thread). False when the
  // system refused: right clicks then reach the page unchanged.
  bool Install(OpenMenu open_menu);
  void Remove();
  bool Installed() const { return hook_ != nullptr; }

 private:
  static LRESULT CALLBACK LinkHookProc(int code, WPARAM message, LPARAM data);

  HHOOK hook_ = nullptr;
  OpenMenu open_menu_;
  bool press_taken_ = false;  // the last right press on the page was ours
};

}  // namespace vellum::win32
