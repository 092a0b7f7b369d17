// The viewer's popup menu on Windows: its items in the Linux viewer's order,
// their check marks, and the Library submenu of radio items made anew each
// time the libraries are listed.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "core/ports.h"

namespace vellum::win32 {

class PopupMenuWin {
 public:
  // Library items take the command ids from here on, at most so many.
  static constexpr int kFirstLibraryCommand = 300;
  static constexpr int kMaxLibraries = 200;

  PopupMenuWin() = default;
  PopupMenuWin(const PopupMenuWin&) = delete;
  PopupMenuWin& operator=(const PopupMenuWin&) = delete;
  ~PopupMenuWin() { Destroy(); }

  // False when the system refused.
  bool Create();
  void Destroy();
  void SetCheck(int command, bool checked);
  void SetEnabled(int command, bool enabled);
  // Labels are ANSI text, as captions are; -1: none is the one shown.
  void SetLibraries(const std::vector<std::string>& labels, int chosen);
  // The library a command chooses, by its place in the list.
  static std::optional<std::size_t> LibraryOf(int command);
  void SetTheme(Theme theme);
  // The theme a command chooses.
  static std::optional<Theme> ThemeOf(int command);
  // Shows the menu at a screen point for owner; the command chosen, 0 for none.
  int Show(HWND owner, POINT at) const;

 private:
  HMENU menu_ = nullptr;
  HMENU libraries_ = nullptr;  // owned by menu_
  HMENU themes_ = nullptr;     // owned by menu_
  bool libraries_attached_ = false;
  bool themes_attached_ = false;
  int library_count_ = 0;
};

}  // namespace vellum::win32
