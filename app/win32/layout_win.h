// The viewer window's identity, creation style and title-bar layout. Also
// read by the test probe, which names the controls it finds by these ids.
#pragma once

#include <windows.h>

#include <array>

#include "app/win32/controls_win.h"
#include "core/title_bar.h"

namespace vellum::win32 {

// The style of a resizable top-level window, then turned into a pop-up with
// a sizing frame and no caption bar: WS_POPUP added, WS_DLGFRAME toggled
// (the base style holds it, so this removes it). Applied at every creation.
inline constexpr DWORD kBaseStyle =
    WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD AdjustCreationStyle(DWORD style) {
  return (style | WS_POPUP) ^ WS_DLGFRAME;
}
inline constexpr DWORD kWindowStyle = AdjustCreationStyle(kBaseStyle) | WS_CLIPCHILDREN;

// The hidden application window that owns the viewer and carries its
// taskbar entry.
inline constexpr const wchar_t* kApplicationClass = L"VellumApplication";
inline constexpr const wchar_t* kViewerClassW = L"TfrmHView";
inline constexpr const wchar_t* kViewerTitleW = L"Vellum";

inline constexpr int kPanelHeight = 26;

enum ControlId : int {
  kPanel1 = 100,
  kImage1,
  kSpeedButton2,  // location
  kSpeedButton1,  // pending jump
  kSBtnINDEX,
  kSBtnBACK,
  kSBtnFORWARD,
  kImage2,
  kSpeedButton4,  // "_"
  kSpeedButton3,  // "X"
  // The find bar, under the title bar while it is open.
  kFindText,
  kFindPrevious,
  kFindNext,
  kFindStatus,
  kFindClose,
  // The Go to bar, in the same place while it is open.
  kGoToLabel,
  kGoToText,
  kGoToGo,
  kGoToStatus,
  kGoToClose,
  // The quiet word that the host did not answer, and the line of a slow load.
  kNotice,
  kLoading,
};

enum MenuId : int {
  kCopyCB1 = 201,
  kAlwaysOnTop1,
  kAbout1,
  kClose1,
  kFollowBibleSync1,
  kLargerText1,
  kSmallerText1,
  kNormalSize1,
  kFindInPage1,
  kLibrary1,  // the submenu's own item
  kTheme1,    // the submenu's own item
  kFollowSystem1,
  kLight1,
  kDark1,
  kGoTo1,
  kBack1,
  kForward1,
  kIndex1,
  kCopyWithReference1,
  kPrint1,
  // The Follow BibleSync submenu (kFollowBibleSync1 is its own item).
  kSyncOff1,
  kSyncThisComputer1,
  kSyncOtherComputers1,
  kFollowEveryProgram1,
  kAddBooks1,  // at the end of the Library submenu
};

enum class Face { kWindow, kArial, kArialBold, kArialBlack };

struct ControlPlace {
  ControlId id;
  const char* name;        // the designer name
  const wchar_t* caption;  // buttons only
  int x, y, width, height;
  int right;  // distance of the left edge from Panel1's right edge; 0 = anchored left
  Face face;
  COLORREF colour;
  int margin;  // caption margin from the left edge; -1: centred
};

inline constexpr COLORREF kBlue = RGB(0, 0, 255);
inline constexpr COLORREF kPurple = RGB(128, 0, 128);

// Places within Panel1, in title-bar order from left to right: every button
// a 24-pixel target at 96 DPI. The left-hand parts' places are their design;
// LayOutTitleBar moves and cuts them in a narrow window.
inline constexpr int kT = kTitleBarTarget;
inline constexpr int kY = kTitleBarTargetTop;
inline constexpr std::array<ControlPlace, 9> kTitleBar{{
    {kImage1, "Image1", nullptr, kMenuIconLeft, kY, kT, kT, 0, Face::kWindow, kWindowTextColour,
     -1},
    {kSpeedButton2, "SpeedButton2", L".....", kLocationLeft, kY, kLocationWidth, kT, 0,
     Face::kArial, kBlue, 7},
    {kSpeedButton1, "SpeedButton1", L".....", kPendingLeft, kY, kPendingWidth, kT, 0, Face::kArial,
     kPurple, 7},
    {kSBtnINDEX, "SBtnINDEX", L"Index", kIndexLeft, kY, kIndexMinWidth, kT, 0, Face::kArialBold,
     kBlue, 5},
    {kSBtnBACK, "SBtnBACK", L"<", 0, kY, kT, kT, kBackFromRight, Face::kArialBlack,
     kWindowTextColour, -1},
    {kSBtnFORWARD, "SBtnFORWARD", L">", 0, kY, kT, kT, kForwardFromRight, Face::kArialBlack,
     kWindowTextColour, -1},
    {kImage2, "Image2", nullptr, 0, kY, kT, kT, kHandleFromRight, Face::kWindow, kWindowTextColour,
     -1},
    {kSpeedButton4, "SpeedButton4", L"_", 0, kY, kT, kT, kMinimizeFromRight, Face::kWindow,
     kWindowTextColour, -1},
    {kSpeedButton3, "SpeedButton3", L"X", 0, kY, kT, kT, kCloseFromRight, Face::kWindow,
     kWindowTextColour, -1},
}};

// The name of a title-bar button that shows a sign: what assistive
// technology reads; nullptr for the others, whose caption is their name.
constexpr const wchar_t* SpokenName(int id) {
  switch (id) {
    case kSBtnBACK:
      return L"Back";
    case kSBtnFORWARD:
      return L"Forward";
    case kSpeedButton4:
      return L"Minimize";
    case kSpeedButton3:
      return L"Close";
    default:
      return nullptr;
  }
}

// The layout is designed at 96 DPI; at other DPIs every length grows with it.
constexpr int Scaled(int value, int dpi) {
  // Rounded to the nearest pixel, as MulDiv does, for positive values.
  return (value * dpi + 48) / 96;
}

// Where a control of the title bar stands inside Panel1 of a given width.
constexpr RECT PlaceInPanel(const ControlPlace& place, int panel_width, int dpi) {
  const int left = place.right == 0 ? Scaled(place.x, dpi) : panel_width - Scaled(place.right, dpi);
  const int top = Scaled(place.y, dpi);
  return RECT{left, top, left + Scaled(place.width, dpi), top + Scaled(place.height, dpi)};
}

// The designer name of a control id, or nullptr.
constexpr const char* ControlName(int id) {
  if (id == kPanel1) return "Panel1";
  switch (id) {
    case kFindText:
      return "FindText";
    case kFindPrevious:
      return "FindPrevious";
    case kFindNext:
      return "FindNext";
    case kFindStatus:
      return "FindStatus";
    case kFindClose:
      return "FindClose";
    case kGoToText:
      return "GoToText";
    case kGoToGo:
      return "GoToGo";
    case kGoToStatus:
      return "GoToStatus";
    case kGoToClose:
      return "GoToClose";
    case kNotice:
      return "Notice";
    case kLoading:
      return "Loading";
    default:
      break;
  }
  for (const ControlPlace& place : kTitleBar) {
    if (place.id == id) return place.name;
  }
  return nullptr;
}

}  // namespace vellum::win32
