#include "app/win32/passphrase_dialog_win.h"

#include <cstdint>
#include <cstdio>

#include "app/win32/dialog_template_win.h"
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
  DialogTemplate layout(L"Follow other computers", 260, 128, 6);
  layout.Item(kStaticClass, SS_LEFT, 8, 8, 244, 34, 0xFFFF, kIntro);
  layout.Item(kStaticClass, SS_LEFT, 8, 46, 244, 26, 0xFFFF, kWord);
  layout.Item(kStaticClass, SS_LEFT, 8, 78, 60, 10, 0xFFFF, L"&Passphrase:");
  layout.Item(kEditClass, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 70, 76, 182, 14, kEditId, L"");
  layout.Item(kButtonClass, BS_DEFPUSHBUTTON | WS_TABSTOP, 146, 104, 50, 14, IDOK, L"&Follow");
  layout.Item(kButtonClass, BS_PUSHBUTTON | WS_TABSTOP, 202, 104, 50, 14, IDCANCEL, L"Cancel");
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
