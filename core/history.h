// The history of the locations the user dwelt on: newest first, never
// shortened, with a cursor that Back and Forward move.
#pragma once

#include <string>
#include <vector>

#include "core/location.h"

namespace vellum {

class History {
 public:
  // The entry text: the name alone for code "IDX", else the caption.
  static std::string EntryText(const TbcvRec& location);

  // True when location equals the newest entry (code, chapter, verse).
  bool IsNewest(const TbcvRec& location) const;
  // Puts location on top (index 0) and the cursor on it.
  void Insert(const TbcvRec& location);

  int Count() const { return static_cast<int>(entries_.size()); }
  int Cursor() const { return cursor_; }
  void SetCursor(int index) { cursor_ = index; }
  bool InRange(int index) const { return index >= 0 && index < Count(); }

  // Entry at index (0 = newest). index must be in range.
  const TbcvRec& LocationAt(int index) const { return Entry(index).object.Location(); }
  const std::string& TextAt(int index) const { return Entry(index).text; }

  bool CanGoBack() const { return Count() >= 2 && cursor_ < Count() - 1; }
  bool CanGoForward() const { return Count() >= 2 && cursor_ > 0; }

 private:
  struct Item {
    std::string text;
    TbcvObj object;
  };
  // Stored oldest first so that adding on top is cheap.
  const Item& Entry(int index) const {
    return entries_[entries_.size() - 1 - static_cast<std::size_t>(index)];
  }

  std::vector<Item> entries_;
  int cursor_ = -1;
};

}  // namespace vellum
