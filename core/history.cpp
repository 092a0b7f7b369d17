#include "core/history.h"

namespace vellum {

std::string History::EntryText(const TbcvRec& location) {
  if (Code(location) == kIndexCode) return std::string(Name(location));
  return LocationCaption(location);
}

bool History::IsNewest(const TbcvRec& location) const {
  return !entries_.empty() && SameLocation(entries_.back().object.Location(), location);
}

void History::Insert(const TbcvRec& location) {
  entries_.push_back({EntryText(location), TbcvObj(location)});
  cursor_ = 0;
}

}  // namespace vellum
