// The title bar's layout, the same on both systems: where each button stands
// at 96 DPI, and how the buttons on the left share the width the right-hand
// block leaves them, at any width of the window.
#pragma once

namespace vellum {

// Every button is a target of 24 x 24 pixels at 100 % scale, one pixel below
// the panel's top edge.
inline constexpr int kTitleBarTarget = 24;
inline constexpr int kTitleBarTargetTop = 1;

// The right-hand block (Back, Forward, the drag handle, minimise, close):
// each button's left edge, as its distance from the panel's right edge.
inline constexpr int kBackFromRight = 126;
inline constexpr int kForwardFromRight = 102;
inline constexpr int kHandleFromRight = 76;
inline constexpr int kMinimizeFromRight = 50;
inline constexpr int kCloseFromRight = 25;

// The left-hand parts as designed: the menu icon, the location button, the
// pending-jump button (or the notice in its place), the Index button.
inline constexpr int kMenuIconLeft = 1;
inline constexpr int kLocationLeft = 28;
inline constexpr int kLocationWidth = 77;
inline constexpr int kPendingLeft = 108;
inline constexpr int kPendingWidth = 77;
inline constexpr int kIndexLeft = 198;
inline constexpr int kIndexMinWidth = 40;
// The narrowest a cut-down location or pending-jump button gets.
inline constexpr int kButtonMinWidth = 40;
// Between the last left-hand part and Back.
inline constexpr int kIndexGapToBack = 4;
// Between left-hand parts packed together in a narrow window.
inline constexpr int kPackedGap = 3;

// The narrowest panel: the menu icon, a cut-down location button and the
// right-hand block.
inline constexpr int kNarrowestPanel =
    kLocationLeft + kButtonMinWidth + kIndexGapToBack + kBackFromRight;

struct TitleSlot {
  int x = 0;
  int width = 0;
  bool shown = false;
  friend bool operator==(const TitleSlot&, const TitleSlot&) = default;
};

struct TitleBarParts {
  TitleSlot location;
  TitleSlot pending;  // the pending-jump button, or the notice
  TitleSlot index;
  bool index_cut = false;  // narrower than its caption: the whole is its tooltip
};

// The left-hand parts for a panel `panel_width` pixels wide at `dpi`, the
// Index caption wanting `index_wanted` pixels (its margins included), the
// pending-jump button or the notice shown or not. Where the design fits, the
// design; below, the parts close up from the left and give way in this
// order, none ever reaching another or Back: Index shrinks to its least,
// then the pending jump, then the location button; then Index goes (the
// menu has it too), then the pending jump.
TitleBarParts LayOutTitleBar(int panel_width, int index_wanted, bool pending_shown, int dpi);

// A design length at `dpi`, rounded as the system rounds.
constexpr int ScaledToDpi(int value, int dpi) {
  return (value * dpi + 48) / 96;
}

}  // namespace vellum
