#include "app/win32/add_books_dialog_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/win32/dialog_template_win.h"
#include "core/guarded.h"
#include "core/viewer.h"
#include "platform/platform.h"
#include "platform/wide_text_win.h"

namespace vellum::win32 {
namespace {

enum : WORD {
  kIntro = 100,
  kModules,
  kProgress,
  kProgressText,
  kLibrariesLabel,
  kLibraries,
  kRemove,
  kNote,
  kFromFile,
  kShow,
};

// What the child processes tell the dialog (wParam 1: one has ended).
constexpr UINT kListerMessage = WM_APP + 1;
constexpr UINT kImportMessage = WM_APP + 2;

// vellum-import.exe beside our own executable; "" when it is not there.
std::wstring ImportProgram() {
  std::wstring path = Utf8ToWide(SystemFileSystem().ExecutablePath());
  const std::size_t folder_end = path.find_last_of(L"\\/");
  if (folder_end == std::wstring::npos) return {};
  path.resize(folder_end + 1);
  path += L"vellum-import.exe";
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : path;
}

// The progress bar's class, from the common controls, loaded the first time
// the dialog opens (and kept: its windows use it for as long as they live).
bool LoadProgressBars() {
  static const bool loaded = [] {
    HMODULE controls = LoadLibraryW(L"comctl32.dll");
    using InitControls = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = controls == nullptr
                          ? nullptr
                          : reinterpret_cast<InitControls>(reinterpret_cast<void (*)()>(
                                GetProcAddress(controls, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
    return init != nullptr && init(&classes) != FALSE;
  }();
  return loaded;
}

// A file for the import's own words, read when it ends; "" when none.
std::wstring ErrorsFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"vim", 0, name) == 0)
    return {};
  return name;
}

std::string ReadAndRemove(const std::wstring& path) {
  std::string text;
  {
    std::ifstream file(path.c_str(), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  DeleteFileW(path.c_str());
  return text;
}

}  // namespace

AddBooksDialogWin::AddBooksDialogWin(HINSTANCE instance, HWND owner, Viewer& viewer)
    : instance_(instance), owner_(owner), viewer_(viewer), program_(ImportProgram()) {}

AddBooksDialogWin::~AddBooksDialogWin() {
  // The children end (an import is interrupted and cleans up) before the
  // window they tell goes.
  child_.reset();
  lister_.reset();
  if (!errors_path_.empty()) DeleteFileW(errors_path_.c_str());
  if (dialog_ != nullptr) DestroyWindow(dialog_);
}

void AddBooksDialogWin::Present() {
  if (dialog_ == nullptr) {
    if (!LoadProgressBars())
      std::fprintf(stderr, "vellum: no progress bars (error %lu)\n", GetLastError());
    DialogTemplate layout(L"Add books", 300, 252, 12,
                          DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    layout.Item(kStaticClass, SS_LEFT, 8, 8, 284, 18, kIntro,
                L"Tick the books to add to your library (Space or a click): the SWORD modules "
                L"installed on this computer, or a module .zip from a file.");
    layout.Item(kListBoxClass,
                LBS_MULTIPLESEL | LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
                    WS_BORDER | WS_TABSTOP,
                8, 30, 284, 110, kModules, L"");
    layout.Item(PROGRESS_CLASSW, 0, 8, 144, 284, 9, kProgress, L"");
    layout.Item(kStaticClass, SS_LEFT, 8, 156, 284, 10, kProgressText, L"");
    layout.Item(kStaticClass, SS_LEFT, 8, 170, 100, 10, kLibrariesLabel, L"Your &libraries:");
    layout.Item(kListBoxClass, LBS_NOTIFY | LBS_HASSTRINGS | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 8,
                181, 200, 34, kLibraries, L"");
    layout.Item(kButtonClass, BS_PUSHBUTTON | WS_TABSTOP, 214, 181, 78, 14, kRemove,
                L"&Remove\u2026");
    layout.Item(kStaticClass, SS_LEFT | SS_NOPREFIX, 8, 218, 284, 10, kNote, L"");
    layout.Item(kButtonClass, BS_PUSHBUTTON | WS_TABSTOP, 8, 232, 64, 14, kFromFile,
                L"From a &file\u2026");
    layout.Item(kButtonClass, BS_PUSHBUTTON | WS_TABSTOP, 76, 232, 50, 14, kShow, L"&Show");
    layout.Item(kButtonClass, BS_PUSHBUTTON | WS_TABSTOP, 186, 232, 50, 14, IDCANCEL, L"&Close");
    layout.Item(kButtonClass, BS_DEFPUSHBUTTON | WS_TABSTOP, 242, 232, 50, 14, IDOK, L"&Add");
    dialog_ = CreateDialogIndirectParamW(instance_, layout.Get(), owner_, Procedure,
                                         reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) {
      std::fprintf(stderr, "vellum: the Add books dialog could not be made (error %lu)\n",
                   GetLastError());
      return;
    }
  }
  if (!importing_) List();
  ListLibraries();
  ShowRows();
  ShowWindow(dialog_, SW_SHOW);
  SetForegroundWindow(dialog_);
  SetFocus(GetDlgItem(dialog_, kModules));
}

bool AddBooksDialogWin::FilterMessage(MSG& msg) {
  if (dialog_ == nullptr || !IsWindowVisible(dialog_)) return false;
  if (msg.hwnd != dialog_ && !IsChild(dialog_, msg.hwnd)) return false;
  return IsDialogMessageW(dialog_, &msg) != FALSE;
}

INT_PTR CALLBACK AddBooksDialogWin::Procedure(HWND dialog, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  INT_PTR handled = FALSE;
  Guarded([&] {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      handled = TRUE;
      return;
    }
    auto* self = reinterpret_cast<AddBooksDialogWin*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) return;
    switch (message) {
      case WM_COMMAND:
        self->OnCommand(LOWORD(wparam));
        if (LOWORD(wparam) == kLibraries) self->UpdateButtons();
        handled = TRUE;
        break;
      case WM_CLOSE:
        self->OnCommand(IDCANCEL);
        ShowWindow(dialog, SW_HIDE);
        handled = TRUE;
        break;
      case kListerMessage:
        if (wparam == 1) self->OnListed();
        handled = TRUE;
        break;
      case kImportMessage:
        self->OnImportNews();
        handled = TRUE;
        break;
      default:
        break;
    }
  });
  return handled;
}

void AddBooksDialogWin::OnCommand(int id) {
  switch (id) {
    case IDOK:
      if (!importing_) Add();
      break;
    case IDCANCEL:
      if (importing_)
        Cancel();
      else
        ShowWindow(dialog_, SW_HIDE);
      break;
    case kFromFile:
      if (!importing_) FromFile();
      break;
    case kShow:
      ShowLibrary();
      break;
    case kRemove:
      if (!importing_) RemoveLibrary();
      break;
    default:
      break;
  }
}

void AddBooksDialogWin::List() {
  rows_.clear();
  if (program_.empty()) {
    SetNote("vellum-import.exe is not beside Vellum: books cannot be added.");
    ShowRows();
    return;
  }
  SetNote("Looking for the modules installed on this computer\u2026");
  std::string error;
  lister_ = ChildProcessWin::Start(program_, {"--list", "--machine"}, nullptr, L"", dialog_,
                                   kListerMessage, error);
  if (!lister_) SetNote("The modules could not be listed: " + error);
  ShowRows();
}

void AddBooksDialogWin::OnListed() {
  if (!lister_) return;
  std::string listing;
  for (const std::string& line : lister_->TakeLines())
    listing += line + "\n";
  lister_.reset();
  const std::vector<ModuleOffer> offers = ParseModuleList(listing);
  for (const ModuleOffer& offer : offers) {
    Row row;
    row.module = offer.name;
    row.label = OfferText(offer);
    row.replace = offer.state == ModuleOffer::State::kOlderImported;
    rows_.push_back(std::move(row));
  }
  SetNote(!note_after_listing_.empty() ? note_after_listing_
          : offers.empty() ? "No SWORD modules are installed on this computer: add a module "
                             ".zip with From a file\u2026"
                           : "");
  note_after_listing_.clear();
  ShowRows();
}

void AddBooksDialogWin::ShowRows() {
  HWND list = GetDlgItem(dialog_, kModules);
  std::vector<bool> ticked;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i)
    ticked.push_back(SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    const std::wstring text =
        DisplayTextToWide(row.outcome.empty() ? row.label : row.label + " \u2014 " + row.outcome);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (i < ticked.size() && ticked[i]) SendMessageW(list, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  UpdateButtons();
}

void AddBooksDialogWin::ListLibraries() {
  HWND list = GetDlgItem(dialog_, kLibraries);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& name : viewer_.UserLibraryNames())
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(DisplayTextToWide(name).c_str()));
  UpdateButtons();
}

void AddBooksDialogWin::UpdateButtons() {
  // Add stays enabled while there is something to tick: not every list box
  // tells of a tick made with Space at once.
  const bool chosen = SendDlgItemMessageW(dialog_, kLibraries, LB_GETCURSEL, 0, 0) != LB_ERR;
  EnableWindow(GetDlgItem(dialog_, IDOK), !rows_.empty() && !importing_ && !program_.empty());
  EnableWindow(GetDlgItem(dialog_, kFromFile), !importing_ && !program_.empty());
  EnableWindow(GetDlgItem(dialog_, kRemove), chosen && !importing_);
  EnableWindow(GetDlgItem(dialog_, kModules), !importing_);
  SetDlgItemTextW(dialog_, IDCANCEL, importing_ ? L"&Cancel" : L"&Close");
  ShowWindow(GetDlgItem(dialog_, kProgress), importing_ ? SW_SHOW : SW_HIDE);
}

void AddBooksDialogWin::SetNote(const std::string& text) {
  SetDlgItemTextW(dialog_, kNote, DisplayTextToWide(text).c_str());
}

void AddBooksDialogWin::Add() {
  queue_.clear();
  HWND list = GetDlgItem(dialog_, kModules);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
    rows_[i].outcome = "waiting\u2026";
    queue_.push_back(i);
  }
  if (queue_.empty()) {
    SetNote("Tick the books to add first (Space or a click).");
    return;
  }
  cancelling_ = false;
  SetNote("");
  StartNext();
}

void AddBooksDialogWin::StartNext() {
  importing_ = false;
  if (queue_.empty() || cancelling_) {
    for (const std::size_t waiting : queue_)
      rows_[waiting].outcome = "Not added (cancelled)";
    queue_.clear();
    SetDlgItemTextW(dialog_, kProgressText, L"");
    ShowRows();
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, kModules)),
                 TRUE);
    return;
  }
  running_ = queue_.front();
  queue_.erase(queue_.begin());
  Row& row = rows_[running_];
  row.outcome.clear();
  errors_path_ = ErrorsFile();
  std::string error;
  if (!errors_path_.empty())
    child_ = ChildProcessWin::Start(program_, ImportArguments(row.module, row.replace),
                                    "--stop-event", errors_path_, dialog_, kImportMessage, error);
  if (!child_) {
    row.outcome = errors_path_.empty() ? "no temporary file for the import's words" : error;
    if (!errors_path_.empty()) DeleteFileW(errors_path_.c_str());
    errors_path_.clear();
    StartNext();
    return;
  }
  importing_ = true;
  // The list is disabled while the import works: the keys go to Cancel.
  SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, IDCANCEL)),
               TRUE);
  SendDlgItemMessageW(dialog_, kProgress, PBM_SETRANGE32, 0, 1000);
  SendDlgItemMessageW(dialog_, kProgress, PBM_SETPOS, 0, 0);
  SetDlgItemTextW(dialog_, kProgressText,
                  DisplayTextToWide(row.module + ": starting\u2026").c_str());
  ShowRows();
}

void AddBooksDialogWin::OnImportNews() {
  if (!child_) return;
  Row& row = rows_[running_];
  for (const std::string& line : child_->TakeLines()) {
    if (const std::optional<ImportProgress> progress = ParseProgressLine(line)) {
      SendDlgItemMessageW(dialog_, kProgress, PBM_SETPOS,
                          static_cast<WPARAM>((progress->book - 1) * 1000 / progress->books), 0);
      const std::string text = row.module + ": " + progress->book_name + " (book " +
                               std::to_string(progress->book) + " of " +
                               std::to_string(progress->books) + ")";
      SetDlgItemTextW(dialog_, kProgressText, DisplayTextToWide(text).c_str());
    } else if (const std::optional<std::string> name = ImportedLibraryName(line)) {
      row.library = *name;
    }
  }
  if (const std::optional<int> code = child_->ExitCode()) Finish(*code);
}

void AddBooksDialogWin::Finish(int exit_code) {
  child_.reset();
  const std::string errors = ReadAndRemove(errors_path_);
  errors_path_.clear();
  Row& row = rows_[running_];
  row.outcome = ImportOutcome(exit_code, errors);
  if (exit_code == 0) {
    SendDlgItemMessageW(dialog_, kModules, LB_SETSEL, FALSE, static_cast<LPARAM>(running_));
    viewer_.OnLibrariesChanged();
    ListLibraries();
  } else {
    row.library.clear();
  }
  StartNext();
}

void AddBooksDialogWin::Cancel() {
  cancelling_ = true;
  // The import cleans up and ends by itself; should it not be reachable,
  // ending it leaves its unfinished folder hidden, for its next run to clear.
  if (child_ && !child_->Interrupt()) {
    child_.reset();
    Finish(130);
  }
}

void AddBooksDialogWin::FromFile() {
  using OpenFileName = BOOL(WINAPI*)(OPENFILENAMEW*);
  static const auto open_file_name = [] {
    HMODULE dialogs = LoadLibraryW(L"comdlg32.dll");
    FARPROC found = dialogs != nullptr ? GetProcAddress(dialogs, "GetOpenFileNameW") : nullptr;
    return reinterpret_cast<OpenFileName>(reinterpret_cast<void (*)()>(found));
  }();
  if (open_file_name == nullptr) {
    SetNote("No file dialog on this system.");
    return;
  }
  std::wstring path(32768, L'\0');
  OPENFILENAMEW asked{};
  asked.lStructSize = sizeof asked;
  asked.hwndOwner = dialog_;
  asked.lpstrFilter = L"SWORD module .zip files (*.zip)\0*.zip\0";
  asked.lpstrFile = path.data();
  asked.nMaxFile = static_cast<DWORD>(path.size());
  asked.lpstrTitle = L"Add books from a module .zip";
  asked.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!open_file_name(&asked)) return;
  path.resize(path.find(L'\0'));
  Row row;
  row.module = WideToUtf8(path);
  row.label = WideToUtf8(path.substr(path.find_last_of(L"\\/") + 1)) + " (a module .zip)";
  rows_.push_back(std::move(row));
  ShowRows();
  SendDlgItemMessageW(dialog_, kModules, LB_SETSEL, TRUE, static_cast<LPARAM>(rows_.size() - 1));
  UpdateButtons();
}

void AddBooksDialogWin::ShowLibrary() {
  // The row with the keys' caret, else the last one added.
  const LRESULT caret = SendDlgItemMessageW(dialog_, kModules, LB_GETCARETINDEX, 0, 0);
  std::string library;
  if (caret >= 0 && static_cast<std::size_t>(caret) < rows_.size())
    library = rows_[static_cast<std::size_t>(caret)].library;
  for (const Row& row : rows_) {
    if (library.empty() && !row.library.empty()) library = row.library;
  }
  if (library.empty()) {
    SetNote("Add a book first: Show switches to a library added here.");
  } else if (!viewer_.ShowUserLibrary(library)) {
    SetNote("The library " + library + " is no longer in your library folder.");
  }
}

void AddBooksDialogWin::RemoveLibrary() {
  const std::wstring name = [&] {
    HWND list = GetDlgItem(dialog_, kLibraries);
    const LRESULT chosen = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (chosen == LB_ERR) return std::wstring();
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(chosen), 0);
    std::wstring text(static_cast<std::size_t>(length < 0 ? 0 : length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(chosen),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length < 0 ? 0 : length));
    return text;
  }();
  if (name.empty()) return;
  const std::wstring question = L"Remove the library " + name +
                                L" from your library folder?\n\nIts pages are deleted. A module "
                                L"it came from stays installed and can be added again.";
  if (MessageBoxW(dialog_, question.c_str(), L"Remove a library",
                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return;
  // The names listed are the viewer's own, read back as they were written.
  std::string library;
  for (const std::string& known : viewer_.UserLibraryNames()) {
    if (DisplayTextToWide(known) == name) library = known;
  }
  const std::optional<std::string> failed =
      library.empty() ? std::optional<std::string>("it is no longer there")
                      : viewer_.RemoveUserLibrary(library);
  note_after_listing_ = failed ? "Not removed: " + *failed : "Removed " + library;
  ListLibraries();
  List();
}

}  // namespace vellum::win32
