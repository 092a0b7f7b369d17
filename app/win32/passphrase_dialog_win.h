// The dialog that asks for the passphrase of the BibleSync group on the local
// network, with a plain word that it keeps groups apart and is no security.
// Made from a template in memory: every executable shares one resource file.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vellum::win32 {

// The passphrase typed (UTF-8), or nullopt when the reader cancelled or the
// dialog could not be shown.
std::optional<std::string> AskPassphraseWin(HINSTANCE instance, HWND owner,
                                            const std::string& current);

}  // namespace vellum::win32
