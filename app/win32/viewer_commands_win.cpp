// The Windows viewer's menu commands, its theme, and the parts of the title
// bar that come and go: the Index button's fit and tooltip, the notice of
// the host's silence and the line of a page loading.
#include "app/win32/viewer_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/win32/layout_win.h"
#include "app/win32/passphrase_dialog_win.h"
#include "platform/wide_text_win.h"

namespace vellum::win32 {

int ViewerWindowWin::IndexCaptionWidth() {
  HWND button = controls_[kSBtnINDEX];
  wchar_t caption[256] = {};
  const int length = GetWindowTextW(button, caption, 256);
  SIZE text{};
  if (HDC dc = GetDC(button)) {
    const HGDIOBJ old = SelectObject(dc, FontOf(Face::kArialBold));
    GetTextExtentPoint32W(dc, caption, length, &text);
    SelectObject(dc, old);
    ReleaseDC(button, dc);
  }
  return text.cx + Scaled(5 + 5, dpi_);  // the caption's margin, and as much after
}

void ViewerWindowWin::ShowIndexTooltip(bool cut) {
  HWND button = controls_[kSBtnINDEX];
  wchar_t caption[256] = {};
  GetWindowTextW(button, caption, 256);
  if (cut) MakeIndexTooltip();
  if (tooltip_ == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = panel_;
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = cut ? caption : const_cast<wchar_t*>(L"");
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The Index button's tooltip, made the first time a caption is cut short.
// The common controls are loaded then, not at start: under Wine, their
// version 6 loaded with the program keeps the window from staying on top.
void ViewerWindowWin::MakeIndexTooltip() {
  if (tooltip_ != nullptr || common_controls_ != nullptr) return;
  common_controls_ = LoadLibraryW(L"comctl32.dll");
  using InitControls = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = common_controls_ == nullptr
                        ? nullptr
                        : reinterpret_cast<InitControls>(reinterpret_cast<void (*)()>(
                              GetProcAddress(common_controls_, "InitCommonControlsEx")));
  const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
  if (init == nullptr || !init(&classes)) {
    std::fprintf(stderr, "vellum: no tooltips (error %lu)\n", GetLastError());
    return;
  }
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
  if (tooltip_ == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = panel_;
  tool.uId = reinterpret_cast<UINT_PTR>(controls_[kSBtnINDEX]);
  tool.lpszText = const_cast<wchar_t*>(L"");
  if (SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) == FALSE)
    std::fprintf(stderr, "vellum: the Index button has no tooltip\n");
}

void ViewerWindowWin::OnCommand(int id) {
  Viewer& v = *viewer_;
  if (const auto library = PopupMenuWin::LibraryOf(id)) {
    v.OnLibraryChosen(*library);
    return;
  }
  if (const auto theme = PopupMenuWin::ThemeOf(id)) {
    v.OnThemeChosen(*theme);
    return;
  }
  if (const auto reach = PopupMenuWin::SyncReachOf(id)) {
    v.OnSyncReachChosen(*reach);
    return;
  }
  if (const HeardProgram* program = menu_.ProgramOf(id)) {
    // A copy: choosing may list the programs anew.
    const HeardProgram chosen = *program;
    v.OnProgramFollowChosen(chosen.key, !chosen.followed);
    return;
  }
  switch (id) {
    case kBack1:
      v.OnBackClicked();
      break;
    case kForward1:
      v.OnForwardClicked();
      break;
    case kIndex1:
      v.OnIndexClicked();
      break;
    case kCopyCB1:
      v.OnCopyChosen();
      break;
    case kCopyWithReference1:
      v.OnCopyWithReferenceChosen();
      break;
    case kPrint1:
      v.OnPrintChosen();
      break;
    case kAlwaysOnTop1:
      v.OnAlwaysOnTopChosen();
      break;
    case kFollowEveryProgram1:
      v.OnFollowEveryProgramChosen(!v.FollowEveryProgramChecked());
      break;
    case kLargerText1:
      v.OnTextSizeChosen(+1);
      break;
    case kSmallerText1:
      v.OnTextSizeChosen(-1);
      break;
    case kNormalSize1:
      v.OnTextSizeChosen(0);
      break;
    case kFindInPage1:
      if (go_to_bar_) go_to_bar_->Act(GoToAction::kClose);
      if (find_bar_) find_bar_->Act(FindAction::kOpen);
      break;
    case kGoTo1:
      if (find_bar_) find_bar_->Act(FindAction::kClose);
      if (go_to_bar_) go_to_bar_->Act(GoToAction::kOpen);
      break;
    case kAddBooks1:
      if (!add_books_) add_books_ = std::make_unique<AddBooksDialogWin>(instance_, window_, v);
      add_books_->Present();
      break;
    case kAbout1:
      v.OnAboutChosen();
      break;
    case kClose1:
      v.OnCloseChosen();
      break;
    default:
      break;
  }
}

void ViewerWindowWin::SetStayOnTopCheck(bool checked) {
  menu_.SetCheck(kAlwaysOnTop1, checked);
}

void ViewerWindowWin::SetSyncReachCheck(SyncReach reach) {
  menu_.SetSyncReach(reach);
}

std::optional<std::string> ViewerWindowWin::AskSyncPassphrase(const std::string& current) {
  return AskPassphraseWin(instance_, window_, current);
}

void ViewerWindowWin::OnSyncLocation(const TbcvRec& location) {
  if (!viewer_ || viewer_->Closed() || !viewer_->FollowSyncChecked()) return;
  viewer_->ReceiveSyncLocation(location);
}

void ViewerWindowWin::SetLibraries(const std::vector<std::string>& labels, int chosen) {
  menu_.SetLibraries(labels, chosen);
}

void ViewerWindowWin::SetTheme(Theme theme) {
  theme_ = theme;
  menu_.SetTheme(theme);
  ApplyTheme();
}

void ViewerWindowWin::ApplyTheme() {
  dark_ = theme_ == Theme::kDark || (theme_ == Theme::kFollowSystem && AppsPreferDark());
  SetDarkFrame(window_, dark_);
  SetControlDark(panel_, dark_);
  for (const auto& [id, control] : controls_)
    SetControlDark(control, dark_);
  for (const int id : {kFindPrevious, kFindNext, kFindClose}) {
    if (HWND button = GetDlgItem(window_, id)) SetControlDark(button, dark_);
  }
  if (go_to_bar_) go_to_bar_->SetDark(dark_);
  SetControlDark(notice_, dark_);
  SetControlDark(loading_line_, dark_);
  // The menu icon's picture carries the face it stands on.
  if (HBITMAP icon = NewMenuIcon(dark_)) SetImageBitmap(controls_[kImage1], icon);
  if (HBITMAP handle = NewDragHandle(dark_)) SetImageBitmap(controls_[kImage2], handle);
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  browser_->SetDark(dark_);
}

void ViewerWindowWin::ShowPopupMenu(ScreenPoint at) {
  if (viewer_)
    menu_.ListSyncPrograms(viewer_->SyncReachChecked() == SyncReach::kOtherComputers,
                           viewer_->FollowEveryProgramChecked(), viewer_->SyncProgramsHeard());
  const int command = menu_.Show(window_, POINT{at.x, at.y});
  if (command != 0) OnCommand(command);
}

// Messages for the user are UTF-8 (they name files, and paths are UTF-8);
// anything that is not is text in the ANSI code page.
void ViewerWindowWin::ShowMessage(const std::string& text) {
  if (session_ending_) {
    // Said where a log keeps it; the debugger's output too, for a person
    // looking after the machine.
    std::fprintf(stderr, "vellum: %s\n", text.c_str());
    OutputDebugStringW((L"Vellum: " + DisplayTextToWide(text) + L"\n").c_str());
    return;
  }
  MessageBoxW(window_, DisplayTextToWide(text).c_str(), kViewerTitleW, MB_OK | MB_ICONERROR);
}

void ViewerWindowWin::SetClipboardText(const std::string& text) {
  const std::wstring wide = Utf8ToWide(text);
  // Windows puts lines apart with CR LF.
  std::wstring lines;
  for (const wchar_t c : wide) {
    if (c == L'\n') lines += L'\r';
    lines += c;
  }
  const std::size_t bytes = (lines.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (memory == nullptr) return;
  if (void* target = GlobalLock(memory)) {
    std::memcpy(target, lines.c_str(), bytes);
    GlobalUnlock(memory);
  } else {
    GlobalFree(memory);
    return;
  }
  if (!OpenClipboard(window_)) {
    GlobalFree(memory);
    std::fprintf(stderr, "vellum: the clipboard is busy (error %lu)\n", GetLastError());
    return;
  }
  EmptyClipboard();
  // Once the clipboard has it, the memory is the system's.
  if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
  CloseClipboard();
}

void ViewerWindowWin::SetNotice(const std::string& text) {
  if (notice_ == nullptr) return;
  SetWindowTextW(notice_, DisplayTextToWide(text).c_str());
  notice_wanted_ = !text.empty();
  LayOut();
}

void ViewerWindowWin::SetLoading(bool loading) {
  if (loading == loading_) return;
  loading_ = loading;
  ShowWindow(loading_line_, loading ? SW_SHOWNA : SW_HIDE);
  // The page's place closes while it loads, and the window's own face shows.
  LayOut();
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

}  // namespace vellum::win32
