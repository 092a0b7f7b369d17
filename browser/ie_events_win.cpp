#include "browser/ie_events_win.h"

#include <exdispid.h>
#include <idispids.h>
#include <mshtmdid.h>
#include <olectl.h>

namespace vellum {
namespace {

static_assert(DISPID_BEFORENAVIGATE2 == kDispidBeforeNavigate2);
static_assert(DISPID_NAVIGATECOMPLETE2 == kDispidNavigateComplete2);
static_assert(DISPID_DOCUMENTCOMPLETE == kDispidDocumentComplete);
static_assert(DISPID_NAVIGATEERROR == kDispidNavigateError);
static_assert(DISPID_NEWWINDOW3 == kDispidNewWindow3);

// The variant an argument stands for, following one reference.
const VARIANT* Deref(const VARIANT& argument) {
  if (V_VT(&argument) == (VT_VARIANT | VT_BYREF)) return V_VARIANTREF(&argument);
  return &argument;
}

std::optional<std::wstring> TextOf(const VARIANT* value) {
  if (value == nullptr) return std::nullopt;
  BSTR text = nullptr;
  if (V_VT(value) == VT_BSTR) {
    text = V_BSTR(value);
  } else if (V_VT(value) == (VT_BSTR | VT_BYREF) && V_BSTRREF(value) != nullptr) {
    text = *V_BSTRREF(value);
  } else {
    return std::nullopt;
  }
  return text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// The argument at place `index` of an event of this shape, or null when the
// arguments are not of the shape.
const VARIANT* Argument(const DISPPARAMS& params, DISPID event, int EventShape::*place) {
  const auto shape = ShapeOf(event);
  if (!shape || (*shape).*place < 0 || params.rgvarg == nullptr || params.cArgs != shape->count)
    return nullptr;
  return &params.rgvarg[(*shape).*place];
}

}  // namespace

std::optional<EventShape> ShapeOf(DISPID event) {
  switch (event) {
    case kDispidBeforeNavigate2:  // pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
      return EventShape{7, 6, 5, 0};
    case kDispidNavigateComplete2:  // pDisp, URL
    case kDispidDocumentComplete:
      return EventShape{2, 1, 0, -1};
    case kDispidNavigateError:  // pDisp, URL, TargetFrameName, StatusCode, Cancel
      return EventShape{5, 4, 3, 0};
    case kDispidNewWindow3:  // ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl
      return EventShape{5, -1, 0, 3};
    default:
      return std::nullopt;
  }
}

bool IsReadEvent(DISPID event) {
  return ShapeOf(event).has_value();
}

std::optional<std::wstring> EventUrl(const DISPPARAMS& params, DISPID event) {
  const VARIANT* url = Argument(params, event, &EventShape::url);
  return url != nullptr ? TextOf(Deref(*url)) : std::nullopt;
}

bool SetEventCancel(const DISPPARAMS& params, DISPID event, bool cancel) {
  const VARIANT* argument = Argument(params, event, &EventShape::cancel);
  if (argument == nullptr || V_VT(argument) != (VT_BOOL | VT_BYREF) ||
      V_BOOLREF(argument) == nullptr)
    return false;
  *V_BOOLREF(argument) = cancel ? VARIANT_TRUE : VARIANT_FALSE;
  return true;
}

IDispatch* EventFrame(const DISPPARAMS& params, DISPID event) {
  const VARIANT* argument = Argument(params, event, &EventShape::frame);
  if (argument == nullptr) return nullptr;
  const VARIANT* frame = Deref(*argument);
  if (frame == nullptr) return nullptr;
  if (V_VT(frame) == VT_DISPATCH) return V_DISPATCH(frame);
  if (V_VT(frame) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(frame) != nullptr)
    return *V_DISPATCHREF(frame);
  return nullptr;
}

bool SameObject(IUnknown* a, IUnknown* b) {
  if (a == nullptr || b == nullptr) return false;
  IUnknown* identity_a = nullptr;
  IUnknown* identity_b = nullptr;
  const bool same =
      SUCCEEDED(a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity_a))) &&
      SUCCEEDED(b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity_b))) &&
      identity_a == identity_b;
  if (identity_a != nullptr) identity_a->Release();
  if (identity_b != nullptr) identity_b->Release();
  return same;
}

LONG AmbientDownloadControl() {
  return DLCTL_DLIMAGES | DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS |
         DLCTL_NO_BEHAVIORS | DLCTL_NO_CLIENTPULL | DLCTL_SILENT;
}

HRESULT AnswerAmbient(DISPID id, VARIANT* result) {
  switch (id) {
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_SILENT:
      if (result == nullptr) return E_POINTER;
      VariantInit(result);
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = VARIANT_TRUE;
      return S_OK;
    case DISPID_AMBIENT_DLCONTROL:
      if (result == nullptr) return E_POINTER;
      VariantInit(result);
      V_VT(result) = VT_I4;
      V_I4(result) = AmbientDownloadControl();
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace vellum
