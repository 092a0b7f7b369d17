// Dialogs made from a template in memory: every executable shares one
// resource file, so a dialog's layout is written here in code.
#pragma once

#include <windows.h>

#include <cwchar>
#include <vector>

namespace vellum::win32 {

// The predefined classes' atoms.
inline constexpr WORD kButtonClass = 0x0080;
inline constexpr WORD kEditClass = 0x0081;
inline constexpr WORD kStaticClass = 0x0082;
inline constexpr WORD kListBoxClass = 0x0083;

// A dialog template in memory (DLGTEMPLATE, then one DLGITEMTEMPLATE per
// control), laid out as "Dialog Box Templates" on Microsoft Learn says: each
// item starts on a DWORD boundary, strings are UTF-16 with their zero.
class DialogTemplate {
 public:
  DialogTemplate(const wchar_t* title, short width, short height, WORD items,
                 DWORD style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU) {
    DLGTEMPLATE head{};
    head.style = style | DS_SHELLFONT;
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
    Place(style, x, y, cx, cy, id);
    Word(0xFFFF);
    Word(class_atom);
    Ending(text);
  }

  // A control of a class named (a common control's, "msctls_progress32").
  void Item(const wchar_t* class_name, DWORD style, short x, short y, short cx, short cy, WORD id,
            const wchar_t* text) {
    Place(style, x, y, cx, cy, id);
    Text(class_name);
    Ending(text);
  }

  const DLGTEMPLATE* Get() {
    Align();
    return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data());
  }

 private:
  void Place(DWORD style, short x, short y, short cx, short cy, WORD id) {
    Align();
    DLGITEMTEMPLATE item{};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    Append(&item, sizeof item);
  }
  void Ending(const wchar_t* text) {
    Text(text);
    Word(0);  // no creation data
  }
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

}  // namespace vellum::win32
