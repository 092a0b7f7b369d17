#include "app/win32/passphrase_dialog_win.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/guarded.h"
#include "platform/wide_text_win.h"

namespace vellum::win32 {
namespace {

constexpr int kEditId = 100;
constexpr int kMaxPassphrase = 200;  // characters

constexpr wchar_t kIntro[] =
    L"Vellum will follow the programs you tick among those heard on the local network with "
    L"this passphrase (empty: BibleSync's own). It tells them only that it is there, never "
    L"where it goes.";
constexpr wchar_t kWord[] =
    L"The passphrase keeps groups apart; it is no security: anyone on the network can read and "
    L"send BibleSync messages.";

// A dialog template in memory (DLGTEMPLATE, then one DLGITEMTEMPLATE per
// control), laid out as "Dialog Box Templates" on Microsoft Learn says: each
// item starts on a DWORD boundary, strings are UTF-16 with their zero.
class DialogTemplate {
 public:
  DialogTemplate(const wchar_t* title, short width, short height, WORD items) {
    DLGTEMPLATE head{};
    head.style = DS_MODALFRAME | DS_SHELLFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    head.cdit = items;
    head.cx = width;
    head.cy = height;
    Append(&head, sizeof head);
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(title);
    Word(9);  // the font's size in points, then its name (DS_SHELLFONT)
    Text(L"MS Shell Dlg");
  }

  // A control of a predefined class (0x0080 button, 0x0081 edit, 0x0082 static).
  void Item(WORD class_atom, DWORD style, short x, short y, short cx, short cy, WORD id,
            const wchar_t* text) {
    Align();
    DLGITEMTEMPLATE item{};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    Append(&item, sizeof item);
    Word(0xFFFF);
    Word(class_atom);
    Text(text);
    Word(0);  // no creation data
  }

  const DLGTEMPLATE* Get() {
    Align();
    return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data());
  }

 private:
  void Append(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  void Word(WORD value) { Append(&value, sizeof value); }
  void Text(const wchar_t* text) { Append(text, (std::wcslen(text) + 1) * sizeof(wchar_t)); }
  void Align() {
    while (bytes_.size() % 4 != 0)
      bytes_.push_back(0);
  }
  // DWORD-aligned storage: a vector of bytes from the heap is.
  std::vector<unsigned char> bytes_;
};

struct DialogState {
  std::wstring text;
  bool ok = false;
};

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR handled = FALSE;
  Guarded([&] {
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
      case WM_INITDIALOG: {
        state = reinterpret_cast<DialogState*>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        SendDlgItemMessageW(dialog, kEditId, EM_SETLIMITTEXT, kMaxPassphrase, 0);
        SetDlgItemTextW(dialog, kEditId, state->text.c_str());
        HWND edit = GetDlgItem(dialog, kEditId);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SetFocus(edit);
        handled = FALSE;  // the focus is set: the system must not move it
        break;
      }
      case WM_COMMAND:
        if (LOWORD(wparam) == IDOK && state != nullptr) {
          wchar_t typed[kMaxPassphrase + 1] = {};
          GetDlgItemTextW(dialog, kEditId, typed, kMaxPassphrase + 1);
          state->text = typed;
          state->ok = true;
          EndDialog(dialog, IDOK);
          handled = TRUE;
        } else if (LOWORD(wparam) == IDCANCEL) {
          EndDialog(dialog, IDCANCEL);
          handled = TRUE;
        }
        break;
      default:
        break;
    }
  });
  return handled;
}

}  // namespace

std::optional<std::string> AskPassphraseWin(HINSTANCE instance, HWND owner,
                                            const std::string& current) {
  constexpr WORD kButton = 0x0080;
  constexpr WORD kEdit = 0x0081;
  constexpr WORD kStatic = 0x0082;
  DialogTemplate layout(L"Follow other computers", 260, 128, 6);
  layout.Item(kStatic, SS_LEFT, 8, 8, 244, 34, 0xFFFF, kIntro);
  layout.Item(kStatic, SS_LEFT, 8, 46, 244, 26, 0xFFFF, kWord);
  layout.Item(kStatic, SS_LEFT, 8, 78, 60, 10, 0xFFFF, L"&Passphrase:");
  layout.Item(kEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 70, 76, 182, 14, kEditId, L"");
  layout.Item(kButton, BS_DEFPUSHBUTTON | WS_TABSTOP, 146, 104, 50, 14, IDOK, L"&Follow");
  layout.Item(kButton, BS_PUSHBUTTON | WS_TABSTOP, 202, 104, 50, 14, IDCANCEL, L"Cancel");
  DialogState state;
  state.text = Utf8ToWide(current);
  const INT_PTR result = DialogBoxIndirectParamW(instance, layout.Get(), owner, Procedure,
                                                 reinterpret_cast<LPARAM>(&state));
  if (result == -1) {
    std::fprintf(stderr, "vellum: the passphrase dialog could not be shown (error %lu)\n",
                 GetLastError());
    return std::nullopt;
  }
  if (!state.ok) return std::nullopt;
  return WideToUtf8(state.text);
}

}  // namespace vellum::win32
