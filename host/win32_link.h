// The host protocol over WM_COPYDATA: window lookups and sending one message
// with a time limit. The receiving side is the window procedure's.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

#include "host/protocol.h"

namespace vellum::host {

// The viewer: class "TfrmHView", caption "Vellum". The host: class
// "TFrmORUmain", whatever its caption.
HWND FindViewerWindow();
HWND FindHostWindow();

// Sends WM_COPYDATA with dwData = code, the payload as lpData/cbData and the
// sender's window in wParam; SMTO_NORMAL, so that messages sent to the
// sender meanwhile are still handled.
SendStatus SendCopyData(HWND target, HWND sender, std::uint32_t code, std::string_view payload,
                        UINT timeout_ms);

// Lets WM_COPYDATA from processes of a lower integrity level reach window
// (a viewer started elevated still hears an ordinary host). False when the
// system refused.
bool AcceptCopyDataFromAnyProcess(HWND window);

// What a window procedure returns for a WM_COPYDATA it has handled.
inline constexpr LRESULT kCopyDataHandled = TRUE;

// The message a WM_COPYDATA carries, copied: lParam may be null, and cbData
// says how many bytes lpData holds.
Message ReadCopyData(WPARAM wparam, LPARAM lparam);

}  // namespace vellum::host
