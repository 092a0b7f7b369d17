// The Add books dialog of the Windows viewer (Library > Add books…): the
// SWORD modules installed on this computer and module .zip files chosen by
// the reader, imported one after the other by vellum-import.exe as a child
// process, with a progress bar for the one at work and, at the end, a plain
// line per module: added, already there, cancelled or why not. The reader's
// own libraries can be removed from here. The viewer goes on meanwhile: the
// dialog is modeless, and a library added is in the Library menu at once.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/win32/child_process_win.h"
#include "core/book_imports.h"

namespace vellum {
class Viewer;
}

namespace vellum::win32 {

class AddBooksDialogWin {
 public:
  AddBooksDialogWin(HINSTANCE instance, HWND owner, Viewer& viewer);
  AddBooksDialogWin(const AddBooksDialogWin&) = delete;
  AddBooksDialogWin& operator=(const AddBooksDialogWin&) = delete;
  ~AddBooksDialogWin();

  // Shows the dialog, listing the modules anew unless an import is at work.
  void Present();
  // The dialog's keys (Tab, Enter, Escape, Space) for its own windows; true
  // when the message was taken.
  bool FilterMessage(MSG& msg);

 private:
  struct Row {
    std::string module;  // a module's name, or a .zip file's path
    std::string label;
    bool replace = false;
    std::string outcome;
    std::string library;  // the library it became, once added
  };

  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void OnCommand(int id);
  void List();
  void OnListed();
  void ShowRows();
  void ListLibraries();
  void UpdateButtons();
  void SetNote(const std::string& text);
  void Add();
  void StartNext();
  void OnImportNews();
  void Finish(int exit_code);
  void Cancel();
  void FromFile();
  void ShowLibrary();
  void RemoveLibrary();

  HINSTANCE instance_;
  HWND owner_;
  Viewer& viewer_;
  std::wstring program_;  // vellum-import.exe's path; "" when it is not there
  HWND dialog_ = nullptr;
  std::vector<Row> rows_;
  std::vector<std::size_t> queue_;  // ticked rows, not yet imported
  std::size_t running_ = 0;
  bool importing_ = false;
  bool cancelling_ = false;
  std::unique_ptr<ChildProcessWin> lister_;
  std::unique_ptr<ChildProcessWin> child_;
  std::wstring errors_path_;
  std::string note_after_listing_;
};

}  // namespace vellum::win32
