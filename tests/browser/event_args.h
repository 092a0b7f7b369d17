// Event arguments as the WebBrowser control hands them to Invoke, and a
// stand-in frame object, for the tests of the site and the browser.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <vector>

#include "browser/ie_events_win.h"

namespace vellum {

// Arguments as Invoke hands them over for the other events we read, each
// with its frame, URL and Cancel where the event has them.
struct EventArgs {
  explicit EventArgs(DISPID event, IDispatch* frame, const wchar_t* url) {
    const EventShape shape = *ShapeOf(event);
    args.resize(shape.count);
    for (VARIANT& v : args)
      VariantInit(&v);
    url_text = SysAllocString(url);
    if (shape.frame >= 0) {
      V_VT(&args[static_cast<std::size_t>(shape.frame)]) = VT_DISPATCH;
      V_DISPATCH(&args[static_cast<std::size_t>(shape.frame)]) = frame;
    }
    VARIANT& url_arg = args[static_cast<std::size_t>(shape.url)];
    if (event == kDispidNewWindow3) {
      V_VT(&url_arg) = VT_BSTR;  // bstrUrl comes as a plain string
      V_BSTR(&url_arg) = url_text;
    } else {
      V_VT(&url_variant) = VT_BSTR;
      V_BSTR(&url_variant) = url_text;
      V_VT(&url_arg) = VT_VARIANT | VT_BYREF;
      V_VARIANTREF(&url_arg) = &url_variant;
    }
    if (shape.cancel >= 0) {
      V_VT(&args[static_cast<std::size_t>(shape.cancel)]) = VT_BOOL | VT_BYREF;
      V_BOOLREF(&args[static_cast<std::size_t>(shape.cancel)]) = &cancel;
    }
    params.rgvarg = args.data();
    params.cArgs = shape.count;
  }
  EventArgs(const EventArgs&) = delete;
  EventArgs& operator=(const EventArgs&) = delete;
  ~EventArgs() { SysFreeString(url_text); }

  std::vector<VARIANT> args;
  VARIANT url_variant{};
  BSTR url_text = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  DISPPARAMS params{};
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A COM object with nothing but an identity, standing for a frame.
class Frame final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }
};
#pragma GCC diagnostic pop

}  // namespace vellum
