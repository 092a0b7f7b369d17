#include "core/title_bar.h"

#include <algorithm>

namespace vellum {

TitleBarParts LayOutTitleBar(int panel_width, int index_wanted, bool pending_shown, int dpi) {
  const auto scaled = [dpi](int value) { return ScaledToDpi(value, dpi); };
  // The left-hand parts end a gap before Back.
  const int end = panel_width - scaled(kBackFromRight) - scaled(kIndexGapToBack);
  const int least_index = scaled(kIndexMinWidth);
  const int index_width = std::max(index_wanted, least_index);
  TitleBarParts parts;
  parts.location = {scaled(kLocationLeft), scaled(kLocationWidth), true};
  parts.pending = {scaled(kPendingLeft), scaled(kPendingWidth), pending_shown};
  if (end - scaled(kIndexLeft) >= least_index) {
    // As designed: Index from its place, as wide as its caption and the room allow.
    const int width = std::min(index_width, end - scaled(kIndexLeft));
    parts.index = {scaled(kIndexLeft), width, true};
    parts.index_cut = width < index_wanted;
    return parts;
  }
  // Closed up from the left; each step takes room from one part.
  const int gap = scaled(kPackedGap);
  int location = parts.location.width;
  int pending = pending_shown ? parts.pending.width : 0;
  int index = index_width;
  bool index_shown = true;
  const auto total = [&] {
    return location + (pending_shown ? gap + pending : 0) + (index_shown ? gap + index : 0);
  };
  const int room = std::max(0, end - parts.location.x);
  const int least_button = scaled(kButtonMinWidth);
  const auto squeeze = [&](int& width, int least) {
    if (total() > room) width = std::max(least, width - (total() - room));
  };
  squeeze(index, least_index);
  if (pending_shown) squeeze(pending, least_button);
  squeeze(location, least_button);
  if (total() > room) index_shown = false;
  if (total() > room) pending_shown = false;
  if (total() > room) location = room;
  // What is left over goes back: to Index up to its caption's width, then
  // to the location button and the pending jump up to their design widths.
  const auto give_back = [&](int& width, int most) {
    width = std::max(width, std::min(most, width + (room - total())));
  };
  if (index_shown) give_back(index, index_width);
  give_back(location, scaled(kLocationWidth));
  if (pending_shown) give_back(pending, scaled(kPendingWidth));

  int x = parts.location.x;
  parts.location.width = location;
  x += location + gap;
  parts.pending = {x, pending, pending_shown};
  if (pending_shown) x += pending + gap;
  parts.index = {x, index, index_shown};
  parts.index_cut = !index_shown || index < index_wanted;
  return parts;
}

}  // namespace vellum
