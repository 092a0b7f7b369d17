// Dark or light on Windows: the desktop's choice for apps (Settings >
// Personalisation > Colours), the frame DWM draws, and the window's own
// backgrounds and fields on the dark face.
#pragma once

#include <windows.h>

namespace vellum::win32 {

// The apps' mode the user chose: HKCU ...\Themes\Personalize
// AppsUseLightTheme, 0 for dark. Light where the value is missing (Windows
// before 10 1809) or unreadable.
bool AppsPreferDark();

// True for the WM_SETTINGCHANGE that says the apps' mode may have changed
// (its lParam names "ImmersiveColorSet").
bool IsColourSetChange(LPARAM lparam);

// The frame DWM draws round the window, dark or light (Windows 10 20H1 and
// later; elsewhere DWM refuses and nothing changes).
void SetDarkFrame(HWND window, bool dark);

// The brush and colours for the window's own child fields (the find bar's
// field and count) and its background while dark.
class DarkSurface {
 public:
  DarkSurface() = default;
  DarkSurface(const DarkSurface&) = delete;
  DarkSurface& operator=(const DarkSurface&) = delete;
  ~DarkSurface();

  // For WM_CTLCOLOREDIT and WM_CTLCOLORSTATIC: sets dc's colours and gives
  // the background brush; nullptr when none could be made.
  HBRUSH ForField(HDC dc);
  // Fills the rectangle with the dark face (WM_ERASEBKGND).
  void Fill(HDC dc, const RECT& box);

 private:
  HBRUSH Brush();
  HBRUSH brush_ = nullptr;
};

}  // namespace vellum::win32
