#include "browser/ie_rules_win.h"

#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace vellum {
namespace {

bool IsScrollKey(WPARAM key) {
  switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END:
    case VK_SPACE:
      return true;
    default:
      return false;
  }
}

bool IsBrowserKey(WPARAM key) {
  return key >= VK_BROWSER_BACK && key <= VK_BROWSER_HOME;
}

// The route of a key press; releases and characters follow their press.
KeyRoute RoutePress(WPARAM key, KeyState state) {
  if (key == VK_APPS || (key == VK_F10 && state.shift && !state.ctrl && !state.alt))
    return KeyRoute::kOpenMenu;
  if (IsBrowserKey(key)) return KeyRoute::kSwallow;
  if (state.alt) {
    // Alt+F4 closes the viewer through its system menu; Alt+Left and
    // Alt+Right are our Back and Forward; every other Alt combination
    // (Alt+Home: home page) is the control's.
    if (key == VK_LEFT && !state.ctrl && !state.shift) return KeyRoute::kBack;
    if (key == VK_RIGHT && !state.ctrl && !state.shift) return KeyRoute::kForward;
    return key == VK_F4 ? KeyRoute::kDeliver : KeyRoute::kSwallow;
  }
  if (key == VK_F3 && !state.ctrl)
    return state.shift ? KeyRoute::kFindPrevious : KeyRoute::kFindNext;
  if (key >= VK_F1 && key <= VK_F24) return KeyRoute::kSwallow;  // F5 reloads, F11, F1 ...
  switch (key) {
    case VK_BACK:    // back in the control's own history
    case VK_ESCAPE:  // stops a load the viewer is waiting for
      return KeyRoute::kSwallow;
    case VK_TAB:
      return KeyRoute::kOffer;
    default:
      break;
  }
  if (state.ctrl) {
    // The text size is the viewer's, for every page: never the control's zoom.
    if (key == VK_OEM_PLUS || key == VK_ADD) return KeyRoute::kLargerText;
    if (key == VK_OEM_MINUS || key == VK_SUBTRACT) return KeyRoute::kSmallerText;
    if (key == '0' || key == VK_NUMPAD0) return KeyRoute::kNormalSize;
    if (key == 'F' && !state.shift) return KeyRoute::kFind;
    if (key == 'C' && state.shift) return KeyRoute::kCopyWithReference;
    if (key == 'P' && !state.shift) return KeyRoute::kPrint;
    if (key == 'C' || key == 'A' || key == VK_INSERT) return KeyRoute::kOffer;
    if (IsScrollKey(key) && key != VK_SPACE) return KeyRoute::kOffer;
    // Ctrl+N, O, P, R, L, S, E, F, W ...: windows, files, printing, reloads.
    if (key != VK_SHIFT && key != VK_CONTROL && key != VK_MENU) return KeyRoute::kSwallow;
    return KeyRoute::kDeliver;
  }
  if (IsScrollKey(key)) return KeyRoute::kOffer;
  return KeyRoute::kDeliver;
}

}  // namespace

KeyState CurrentKeyState() {
  return {GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0, GetKeyState(VK_SHIFT) < 0};
}

KeyRoute RouteKey(UINT message, WPARAM key, KeyState state) {
  switch (message) {
    case WM_KEYDOWN:
      return RoutePress(key, state);
    case WM_SYSKEYDOWN:
      // F10 alone arrives as a system key, like everything with Alt.
      return RoutePress(key, {state.ctrl, state.alt || key != VK_F10, state.shift});
    case WM_KEYUP:
    case WM_SYSKEYUP:
      // A browser key acts on its release as well: DefWindowProc makes a
      // WM_APPCOMMAND of it (WM_APPCOMMAND, Microsoft Learn), which would
      // step the control through its own history.
      return IsBrowserKey(key) ? KeyRoute::kSwallow : KeyRoute::kDeliver;
    default:
      // A release or a character on its own changes nothing: the press that
      // would have acted was dropped, so nothing was translated from it.
      return KeyRoute::kDeliver;
  }
}

int PageZoomPercent(int window_dpi, int text_size_percent) {
  const long long zoom = (static_cast<long long>(window_dpi) * text_size_percent + 48) / 96;
  return static_cast<int>(std::clamp<long long>(zoom, 10, 1000));
}

std::wstring WithThemeClass(std::wstring_view classes, bool dark) {
  const std::wstring_view mark = dark ? L"vellum-dark" : L"vellum-light";
  std::wstring result;
  std::size_t at = 0;
  while (at < classes.size()) {
    const std::size_t start = classes.find_first_not_of(L" \t\r\n\f", at);
    if (start == std::wstring_view::npos) break;
    std::size_t end = classes.find_first_of(L" \t\r\n\f", start);
    if (end == std::wstring_view::npos) end = classes.size();
    const std::wstring_view name = classes.substr(start, end - start);
    if (name != L"vellum-dark" && name != L"vellum-light") {
      if (!result.empty()) result += L' ';
      result += name;
    }
    at = end;
  }
  if (!result.empty()) result += L' ';
  result += mark;
  return result;
}

bool IsBlankPageUrl(std::wstring_view url) {
  constexpr std::wstring_view kBlank = L"about:blank";
  if (url.size() != kBlank.size()) return false;
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (std::towlower(url[i]) != kBlank[i]) return false;
  }
  return true;
}

std::optional<std::wstring> NavigationUrl(std::wstring_view target) {
  // A scheme: letters, digits, "+", "-", "." up to a ":" after at least two
  // characters; a single letter before ":" is a drive.
  const std::size_t colon = target.find(L':');
  if (colon != std::wstring_view::npos && colon >= 2) {
    bool scheme = std::iswalpha(target[0]) != 0;
    for (std::size_t i = 1; scheme && i < colon; ++i) {
      const wchar_t c = target[i];
      scheme = std::iswalnum(c) != 0 || c == L'+' || c == L'-' || c == L'.';
    }
    if (scheme) return std::wstring(target);
  }
  std::wstring_view path = target;
  std::wstring_view fragment;
  const std::size_t hash = target.rfind(L'#');
  const std::size_t last_separator = target.find_last_of(L"\\/");
  if (hash != std::wstring_view::npos &&
      (last_separator == std::wstring_view::npos || hash > last_separator)) {
    path = target.substr(0, hash);
    fragment = target.substr(hash);  // with its "#"
  }
  const std::wstring path_text(path);
  std::vector<wchar_t> buffer(INTERNET_MAX_URL_LENGTH);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    const HRESULT hr = UrlCreateFromPathW(path_text.c_str(), buffer.data(), &size, 0);
    if (SUCCEEDED(hr)) return std::wstring(buffer.data()) + std::wstring(fragment);
    if (hr != E_POINTER || size <= buffer.size()) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(size) + 1);
  }
  return std::nullopt;
}

}  // namespace vellum
