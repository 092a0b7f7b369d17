#include "app/win32/theme_win.h"

#include <dwmapi.h>

#include <cwchar>

#include "app/win32/controls_win.h"

namespace vellum::win32 {
namespace {

// DWMWA_USE_IMMERSIVE_DARK_MODE (Microsoft Learn, DWMWINDOWATTRIBUTE): 20,
// documented from Windows 11 build 22000 and taken by Windows 10 from 20H1;
// older SDK headers lack the name.
constexpr DWORD kUseImmersiveDarkMode = 20;

}  // namespace

bool AppsPreferDark() {
  DWORD light = 1;
  DWORD size = sizeof light;
  const LSTATUS status = RegGetValueW(
      HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
      L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
  return status == ERROR_SUCCESS && light == 0;
}

bool IsColourSetChange(LPARAM lparam) {
  const auto* area = reinterpret_cast<const wchar_t*>(lparam);
  return area != nullptr && std::wcscmp(area, L"ImmersiveColorSet") == 0;
}

void SetDarkFrame(HWND window, bool dark) {
  const BOOL value = dark ? TRUE : FALSE;
  // Refused before 20H1: the frame keeps the system's colours, which is all
  // that can be done there.
  if (FAILED(DwmSetWindowAttribute(window, kUseImmersiveDarkMode, &value, sizeof value))) return;
  // Windows 10 draws the frame anew only when told it changed.
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

DarkSurface::~DarkSurface() {
  if (brush_ != nullptr) DeleteObject(brush_);
}

HBRUSH DarkSurface::Brush() {
  if (brush_ == nullptr) brush_ = CreateSolidBrush(kDarkFace);
  return brush_;
}

HBRUSH DarkSurface::ForField(HDC dc) {
  SetTextColor(dc, kDarkText);
  SetBkColor(dc, kDarkFace);
  return Brush();
}

void DarkSurface::Fill(HDC dc, const RECT& box) {
  if (HBRUSH brush = Brush()) FillRect(dc, &box, brush);
}

}  // namespace vellum::win32
