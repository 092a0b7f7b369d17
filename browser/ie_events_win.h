// Reading the WebBrowser control's events as they arrive through IDispatch:
// the arguments come in reverse order in rgvarg, some by reference.
// Also the answers our site gives to the control's ambient-property reads.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/wide_text_win.h"

namespace vellum {

// DWebBrowserEvents2 dispatch ids of the events the viewer reads.
inline constexpr DISPID kDispidBeforeNavigate2 = 250;
inline constexpr DISPID kDispidNavigateComplete2 = 252;
inline constexpr DISPID kDispidDocumentComplete = 259;
inline constexpr DISPID kDispidNavigateError = 271;
inline constexpr DISPID kDispidNewWindow3 = 273;

// Where an event's arguments stand in rgvarg; -1 where it has none.
struct EventShape {
  UINT count;
  int frame;   // the frame's IDispatch (pDisp)
  int url;     // the URL: a string, or a variant by reference holding one
  int cancel;  // Cancel: a 16-bit boolean by reference
};

// The shape of one of the events above; nullopt for any other id.
std::optional<EventShape> ShapeOf(DISPID event);

// True for the events the site hands to the browser.
bool IsReadEvent(DISPID event);

// The event's URL; nullopt when the arguments are not of the event's form.
std::optional<std::wstring> EventUrl(const DISPPARAMS& params, DISPID event);

// Sets the event's Cancel argument (-1 true, 0 false). False when the
// arguments have no such place.
bool SetEventCancel(const DISPPARAMS& params, DISPID event, bool cancel);

// The frame the event is about, borrowed from the arguments (no reference
// added); null when the event names none.
IDispatch* EventFrame(const DISPPARAMS& params, DISPID event);

// True when both pointers are the same COM object (their IUnknowns match).
bool SameObject(IUnknown* a, IUnknown* b);

// The ambient properties the control reads from its site. What the control
// may download and run: images and styles as usual; no Java, no ActiveX
// controls, no behaviours, no timed redirects (a page must never change
// behind the viewer); and no dialogs of its own.
LONG AmbientDownloadControl();

// Answers an ambient-property read: S_OK with the value for user mode (TRUE:
// links navigate, pages are not editable), download control and silent
// (TRUE); DISP_E_MEMBERNOTFOUND for every other id, as for any member an
// object does not have.
HRESULT AnswerAmbient(DISPID id, VARIANT* result);

}  // namespace vellum
