// The viewer's popup menu on Windows: its items in the Linux viewer's order,
// their check marks, the Library submenu of radio items made anew each time
// the libraries are listed, and the Follow BibleSync submenu, whose programs
// on other computers are listed anew each time the menu opens.
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
  // Programs on other computers take the command ids from here on.
  static constexpr int kFirstProgramCommand = 600;
  static constexpr int kMaxPrograms = 64;

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
  void SetSyncReach(SyncReach reach);
  static std::optional<SyncReach> SyncReachOf(int command);
  // The programs' part of the Follow BibleSync submenu: nothing unless
  // shown; "Follow every program heard" checked by every; one item per
  // program, checked when followed.
  void ListSyncPrograms(bool shown, bool every, const std::vector<HeardProgram>& programs);
  // The program a command of that list stands for.
  const HeardProgram* ProgramOf(int command) const;
  // Shows the menu at a screen point for owner; the command chosen, 0 for none.
  int Show(HWND owner, POINT at) const;

 private:
  HMENU menu_ = nullptr;
  HMENU libraries_ = nullptr;  // owned by menu_
  HMENU themes_ = nullptr;     // owned by menu_
  HMENU sync_ = nullptr;       // owned by menu_
  bool libraries_attached_ = false;
  bool themes_attached_ = false;
  bool sync_attached_ = false;
  std::vector<HeardProgram> programs_;
  int library_count_ = 0;
};

}  // namespace vellum::win32
