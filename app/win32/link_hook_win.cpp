#include "app/win32/link_hook_win.h"

#include "core/guarded.h"
#include "core/viewer.h"

namespace vellum::win32 {
namespace {

// The hook of this thread: the system calls the procedure without context.
thread_local LinkHook* t_hook = nullptr;
thread_local HHOOK t_handle = nullptr;

}  // namespace

bool LinkHook::Install(OpenMenu open_menu) {
  Remove();
  if (t_hook != nullptr) return false;
  open_menu_ = std::move(open_menu);
  hook_ = SetWindowsHookExA(WH_MOUSE, LinkHookProc, nullptr, GetCurrentThreadId());
  if (hook_ == nullptr) return false;
  t_hook = this;
  t_handle = hook_;
  return true;
}

void LinkHook::Remove() {
  if (hook_ == nullptr) return;
  UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  if (t_hook == this) {
    t_hook = nullptr;
    t_handle = nullptr;
  }
}

LRESULT CALLBACK LinkHook::LinkHookProc(int code, WPARAM message, LPARAM data) {
  POINT cursor{};
  GetCursorPos(&cursor);
  if (code == HC_ACTION && t_hook != nullptr && data != 0 &&
      (message == WM_RBUTTONDOWN || message == WM_RBUTTONUP)) {
    char target_class[256] = {};
    const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(data);
    GetClassNameA(mouse->hwnd, target_class, sizeof target_class);
    if (HookOpensMenu(code, static_cast<unsigned>(message), target_class)) {
      // The click is swallowed, press and release alike; the menu is asked
      // for once per click (a release on its own, its press taken elsewhere,
      // asks too). Asking only posts: the menu opens from the window
      // procedure after the hook has returned.
      LinkHook& hook = *t_hook;
      const bool press = message == WM_RBUTTONDOWN;
      const bool ask = press || !hook.press_taken_;
      hook.press_taken_ = press;
      if (ask) {
        Guarded([&] {
          if (hook.open_menu_) hook.open_menu_(cursor);
        });
      }
      return 2;
    }
  }
  return CallNextHookEx(t_handle, code, message, data);
}

}  // namespace vellum::win32
