#include "app/win32/popup_menu_win.h"

#include <cstdio>
#include <utility>

#include "app/win32/layout_win.h"
#include "platform/wide_text_win.h"

namespace vellum::win32 {
namespace {

// "&" in a menu item marks its access key: a library's name keeps its own.
std::wstring MenuText(const std::string& label) {
  std::wstring text;
  for (const wchar_t c : DisplayTextToWide(label)) {
    text += c;
    if (c == L'&') text += L'&';
  }
  return text;
}

}  // namespace

bool PopupMenuWin::Create() {
  menu_ = CreatePopupMenu();
  libraries_ = CreatePopupMenu();
  themes_ = CreatePopupMenu();
  sync_ = CreatePopupMenu();
  if (menu_ == nullptr || libraries_ == nullptr || themes_ == nullptr || sync_ == nullptr)
    return false;
  if (!AppendMenuW(libraries_, MF_STRING, kAddBooks1, L"Add books\u2026")) return false;
  const std::pair<MenuId, const wchar_t*> reaches[] = {
      {kSyncOff1, L"Off"},
      {kSyncThisComputer1, L"Programs on this computer"},
      {kSyncOtherComputers1, L"Other computers too\u2026"}};
  for (const auto& [id, caption] : reaches) {
    if (!AppendMenuW(sync_, MF_STRING, static_cast<UINT_PTR>(id), caption)) return false;
  }
  const std::pair<MenuId, const wchar_t*> themes[] = {
      {kFollowSystem1, L"Follow system"}, {kLight1, L"Light"}, {kDark1, L"Dark"}};
  for (const auto& [id, caption] : themes) {
    if (!AppendMenuW(themes_, MF_STRING, static_cast<UINT_PTR>(id), caption)) return false;
  }
  // Sentence case, an ellipsis where more is asked, the keys after a tab,
  // and groups parted by separators (0).
  const std::pair<int, const wchar_t*> items[] = {
      {kBack1, L"Back\tAlt+Left"},
      {kForward1, L"Forward\tAlt+Right"},
      {kIndex1, L"Index"},
      {0, nullptr},
      {kCopyCB1, L"Copy\tCtrl+C"},
      {kCopyWithReference1, L"Copy with reference\tCtrl+Shift+C"},
      {kFindInPage1, L"Find in page\u2026\tCtrl+F"},
      {kGoTo1, L"Go to\u2026\tCtrl+L"},
      {kPrint1, L"Print\u2026\tCtrl+P"},
      {0, nullptr},
      {kLibrary1, L"Library"},
      {kTheme1, L"Theme"},
      {kLargerText1, L"Larger text\tCtrl++"},
      {kSmallerText1, L"Smaller text\tCtrl+-"},
      {kNormalSize1, L"Normal size\tCtrl+0"},
      {0, nullptr},
      {kAlwaysOnTop1, L"Always on top"},
      {kFollowBibleSync1, L"Follow BibleSync"},
      {0, nullptr},
      {kAbout1, L"About"},
      {kClose1, L"Close"}};
  for (const auto& [id, caption] : items) {
    bool ok = false;
    if (id == 0) {
      ok = AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr) != FALSE;
    } else if (id == kLibrary1) {
      ok = AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(libraries_), caption) != FALSE;
      libraries_attached_ = ok;
    } else if (id == kFollowBibleSync1) {
      ok = AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(sync_), caption) != FALSE;
      sync_attached_ = ok;
    } else if (id == kTheme1) {
      ok = AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(themes_), caption) != FALSE;
      themes_attached_ = ok;
    } else {
      ok = AppendMenuW(menu_, MF_STRING, static_cast<UINT_PTR>(id), caption) != FALSE;
    }
    if (!ok) return false;
  }
  // As their buttons, until the history has somewhere to step.
  SetEnabled(kBack1, false);
  SetEnabled(kForward1, false);
  return true;
}

void PopupMenuWin::Destroy() {
  // DestroyMenu takes the submenu with it once it is attached.
  if (menu_ != nullptr) DestroyMenu(menu_);
  if (libraries_ != nullptr && !libraries_attached_) DestroyMenu(libraries_);
  if (themes_ != nullptr && !themes_attached_) DestroyMenu(themes_);
  if (sync_ != nullptr && !sync_attached_) DestroyMenu(sync_);
  menu_ = nullptr;
  themes_ = nullptr;
  sync_ = nullptr;
  libraries_attached_ = false;
  themes_attached_ = false;
  sync_attached_ = false;
  libraries_ = nullptr;
}

void PopupMenuWin::SetEnabled(int command, bool enabled) {
  if (menu_ != nullptr)
    EnableMenuItem(menu_, static_cast<UINT>(command),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void PopupMenuWin::SetCheck(int command, bool checked) {
  if (menu_ != nullptr)
    CheckMenuItem(menu_, static_cast<UINT>(command),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void PopupMenuWin::SetLibraries(const std::vector<std::string>& labels, int chosen) {
  if (libraries_ == nullptr) return;
  while (GetMenuItemCount(libraries_) > 0) {
    if (!DeleteMenu(libraries_, 0, MF_BYPOSITION)) break;
  }
  library_count_ = 0;
  for (const std::string& label : labels) {
    if (library_count_ == kMaxLibraries) break;
    if (!AppendMenuW(libraries_, MF_STRING,
                     static_cast<UINT_PTR>(kFirstLibraryCommand + library_count_),
                     MenuText(label).c_str())) {
      std::fprintf(stderr, "vellum: cannot list a library in the menu (error %lu)\n",
                   GetLastError());
      break;
    }
    ++library_count_;
  }
  if (chosen >= 0 && chosen < library_count_) {
    CheckMenuRadioItem(libraries_, kFirstLibraryCommand, kFirstLibraryCommand + library_count_ - 1,
                       static_cast<UINT>(kFirstLibraryCommand + chosen), MF_BYCOMMAND);
  }
  // Books can be added whatever is listed, so the submenu is never empty.
  if ((library_count_ > 0 && !AppendMenuW(libraries_, MF_SEPARATOR, 0, nullptr)) ||
      !AppendMenuW(libraries_, MF_STRING, kAddBooks1, L"Add books\u2026"))
    std::fprintf(stderr, "vellum: no Add books item in the menu (error %lu)\n", GetLastError());
}

std::optional<std::size_t> PopupMenuWin::LibraryOf(int command) {
  if (command < kFirstLibraryCommand || command >= kFirstLibraryCommand + kMaxLibraries)
    return std::nullopt;
  return static_cast<std::size_t>(command - kFirstLibraryCommand);
}

void PopupMenuWin::SetTheme(Theme theme) {
  if (themes_ == nullptr) return;
  const MenuId chosen = theme == Theme::kLight  ? kLight1
                        : theme == Theme::kDark ? kDark1
                                                : kFollowSystem1;
  CheckMenuRadioItem(themes_, kFollowSystem1, kDark1, static_cast<UINT>(chosen), MF_BYCOMMAND);
}

std::optional<Theme> PopupMenuWin::ThemeOf(int command) {
  switch (command) {
    case kFollowSystem1:
      return Theme::kFollowSystem;
    case kLight1:
      return Theme::kLight;
    case kDark1:
      return Theme::kDark;
    default:
      return std::nullopt;
  }
}

void PopupMenuWin::SetSyncReach(SyncReach reach) {
  if (sync_ == nullptr) return;
  const MenuId chosen = reach == SyncReach::kOff            ? kSyncOff1
                        : reach == SyncReach::kThisComputer ? kSyncThisComputer1
                                                            : kSyncOtherComputers1;
  CheckMenuRadioItem(sync_, kSyncOff1, kSyncOtherComputers1, static_cast<UINT>(chosen),
                     MF_BYCOMMAND);
}

std::optional<SyncReach> PopupMenuWin::SyncReachOf(int command) {
  switch (command) {
    case kSyncOff1:
      return SyncReach::kOff;
    case kSyncThisComputer1:
      return SyncReach::kThisComputer;
    case kSyncOtherComputers1:
      return SyncReach::kOtherComputers;
    default:
      return std::nullopt;
  }
}

void PopupMenuWin::ListSyncPrograms(bool shown, bool every,
                                    const std::vector<HeardProgram>& programs) {
  if (sync_ == nullptr) return;
  // The three reaches stay; what follows them is made anew.
  while (GetMenuItemCount(sync_) > 3) {
    if (!DeleteMenu(sync_, 3, MF_BYPOSITION)) break;
  }
  programs_.clear();
  if (!shown) return;
  bool ok = AppendMenuW(sync_, MF_SEPARATOR, 0, nullptr) != FALSE &&
            AppendMenuW(sync_, MF_STRING | MF_GRAYED, 0,
                        L"The passphrase keeps groups apart; it is no security") != FALSE &&
            AppendMenuW(sync_, MF_STRING | (every ? MF_CHECKED : MF_UNCHECKED),
                        kFollowEveryProgram1, L"Follow every program heard") != FALSE;
  if (ok && programs.empty())
    ok = AppendMenuW(sync_, MF_STRING | MF_GRAYED, 0, L"No program heard on other computers yet") !=
         FALSE;
  for (const HeardProgram& program : programs) {
    if (!ok || programs_.size() == static_cast<std::size_t>(kMaxPrograms)) break;
    // Labels come from the network in UTF-8; "&" stays itself.
    std::wstring text;
    for (const wchar_t c : Utf8ToWide(program.label)) {
      text += c;
      if (c == L'&') text += L'&';
    }
    ok = AppendMenuW(
             sync_,
             MF_STRING | (program.followed ? MF_CHECKED : MF_UNCHECKED) |
                 (every ? MF_GRAYED : MF_ENABLED),
             static_cast<UINT_PTR>(kFirstProgramCommand + static_cast<int>(programs_.size())),
             text.c_str()) != FALSE;
    if (ok) programs_.push_back(program);
  }
  if (!ok)
    std::fprintf(stderr, "vellum: cannot list the programs heard (error %lu)\n", GetLastError());
}

const HeardProgram* PopupMenuWin::ProgramOf(int command) const {
  const int index = command - kFirstProgramCommand;
  if (index < 0 || index >= static_cast<int>(programs_.size())) return nullptr;
  return &programs_[static_cast<std::size_t>(index)];
}

int PopupMenuWin::Show(HWND owner, POINT at) const {
  if (menu_ == nullptr) return 0;
  // The menu closes properly only when its owner is in the foreground.
  SetForegroundWindow(owner);
  const int command = static_cast<int>(TrackPopupMenu(
      menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x,
      at.y, 0, owner, nullptr));
  PostMessageW(owner, WM_NULL, 0, 0);
  return command;
}

}  // namespace vellum::win32
