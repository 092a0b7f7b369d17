// Reading the WebBrowser control's events as they arrive through IDispatch:
// the arguments come in reverse order in rgvarg, by reference.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace vellum {

// DWebBrowserEvents2 dispatch ids and where their arguments stand.
inline constexpr DISPID kDispidBeforeNavigate2 = 250;
inline constexpr DISPID kDispidNavigateError = 271;
inline constexpr UINT kBeforeNavigate2Args = 7;  // URL at rgvarg[5], Cancel at rgvarg[0]
inline constexpr UINT kNavigateErrorArgs = 5;    // URL at rgvarg[3], Cancel at rgvarg[0]

// The event's URL, from the argument that holds it (a string, or a variant
// by reference holding a string); nullopt when the arguments are not of the
// event's form.
std::optional<std::wstring> EventUrl(const DISPPARAMS& params, DISPID event);

// Sets the event's Cancel argument (a 16-bit boolean by reference: -1 true,
// 0 false). False when the arguments have no such place.
bool SetEventCancel(const DISPPARAMS& params, DISPID event, bool cancel);

// Text in the system's ANSI code page, as the host link carries it.
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);

}  // namespace vellum
