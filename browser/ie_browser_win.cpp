#include "browser/ie_browser_win.h"

#include <exdispid.h>
#include <ocidl.h>

#include "browser/ie_events_win.h"
#include "core/guarded.h"

namespace vellum {
namespace {

// Invokes member `name` of object: a property read, or a method call with
// args given in reverse order as Invoke takes them.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT count,
             Variant* result) {
  if (object == nullptr) return E_POINTER;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS params{args, nullptr, count, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                        result != nullptr ? result->Put() : nullptr, nullptr, nullptr);
}

ComPtr<IDispatch> DispatchOf(const Variant& value) {
  if (V_VT(&value.Get()) != VT_DISPATCH) return {};
  return ComPtr<IDispatch>::Share(V_DISPATCH(&value.Get()));
}

ComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name) {
  Variant result;
  if (FAILED(Call(object, name, DISPATCH_PROPERTYGET, nullptr, 0, &result))) return {};
  return DispatchOf(result);
}

// Element i of a collection: collection.item(i).
ComPtr<IDispatch> Item(IDispatch* collection, int index) {
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_I4;
  V_I4(&arg) = index;
  Variant result;
  if (FAILED(Call(collection, L"item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, &arg, 1, &result)))
    return {};
  return DispatchOf(result);
}

std::optional<int> Length(IDispatch* collection) {
  Variant result;
  if (FAILED(Call(collection, L"length", DISPATCH_PROPERTYGET, nullptr, 0, &result)))
    return std::nullopt;
  Variant number;
  if (FAILED(VariantChangeType(number.Put(), result.Ptr(), 0, VT_I4))) return std::nullopt;
  return V_I4(&number.Get());
}

std::string Name(IDispatch* element) {
  Variant result;
  if (FAILED(Call(element, L"name", DISPATCH_PROPERTYGET, nullptr, 0, &result))) return {};
  if (V_VT(&result.Get()) != VT_BSTR || V_BSTR(&result.Get()) == nullptr) return {};
  const BSTR text = V_BSTR(&result.Get());
  return WideToAnsi(std::wstring_view(text, SysStringLen(text)));
}

HWND FindDescendant(HWND parent, const char* window_class) {
  struct Search {
    const char* window_class;
    HWND found;
  } search{window_class, nullptr};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        char name[256] = {};
        if (GetClassNameA(child, name, sizeof name) > 0 && lstrcmpA(name, s->window_class) == 0) {
          s->found = child;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

// COM objects are destroyed by their own Release, never through an interface
// pointer, so the interfaces' lack of virtual destructors does not matter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The one object the control talks to: its client site, in-place site and
// frame, and the sink of its events. Counted; the browser holds one
// reference, the control the others.
class IeBrowser::Site final : public IOleClientSite,
                              public IOleInPlaceSite,
                              public IOleInPlaceFrame,
                              public IDispatch {
 public:
  Site(IeBrowser* owner, HWND parent) : owner_(owner), parent_(parent) {}
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;
  void Detach() { owner_ = nullptr; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
      *out = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, for the in-place site and the frame alike.
  STDMETHODIMP GetWindow(HWND* out) override {
    if (out == nullptr) return E_POINTER;
    *out = parent_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
        info == nullptr)
      return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    if (!GetClientRect(parent_, position)) SetRectEmpty(position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = parent_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, tools or status bar.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDispatch: the control's DWebBrowserEvents2.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (owner_ == nullptr || params == nullptr) return S_OK;
    Guarded([&] {
      if (event == DISPID_BEFORENAVIGATE2) owner_->OnBeforeNavigate2(*params);
      if (event == DISPID_NAVIGATEERROR) owner_->OnNavigateError(*params);
    });
    return S_OK;
  }

 private:
  ~Site() = default;

  ULONG references_ = 1;
  IeBrowser* owner_;
  HWND parent_;
};
#pragma GCC diagnostic pop

static_assert(DISPID_BEFORENAVIGATE2 == kDispidBeforeNavigate2);
static_assert(DISPID_NAVIGATEERROR == kDispidNavigateError);

IeBrowser::IeBrowser(BeforeNavigate before_navigate)
    : before_navigate_(std::move(before_navigate)) {}

IeBrowser::~IeBrowser() {
  Close();
}

HRESULT IeBrowser::Create(HWND parent, const RECT& rect) {
  Close();
  parent_ = parent;
  site_ = ComPtr<Site>::Adopt(new Site(this, parent));
  auto* client_site = static_cast<IOleClientSite*>(site_.Get());
  HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(object_.Put()));
  if (SUCCEEDED(hr)) hr = object_->SetClientSite(client_site);
  if (SUCCEEDED(hr)) {
    OleSetContainedObject(object_.Get(), TRUE);
    RECT place = rect;
    hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, client_site, 0, parent, &place);
  }
  if (SUCCEEDED(hr)) {
    browser_ = object_.As<IWebBrowser2>(IID_IWebBrowser2);
    if (!browser_) hr = E_NOINTERFACE;
  }
  if (SUCCEEDED(hr)) {
    // Script errors of a page are not the user's business.
    browser_->put_Silent(VARIANT_TRUE);
    auto container = browser_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    hr = container ? container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())
                   : E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = point->Advise(static_cast<IDispatch*>(site_.Get()), &advise_cookie_);
  }
  if (FAILED(hr)) {
    Close();
    return hr;
  }
  SetRect(rect);
  return S_OK;
}

void IeBrowser::Close() {
  if (site_) site_->Detach();
  if (browser_ && advise_cookie_ != 0) {
    auto container = browser_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    if (container &&
        SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())))
      point->Unadvise(advise_cookie_);
  }
  advise_cookie_ = 0;
  if (object_) {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
  }
  browser_.Reset();
  object_.Reset();
  site_.Reset();
}

void IeBrowser::SetRect(const RECT& rect) {
  auto in_place = object_.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (in_place) in_place->SetObjectRects(&rect, &rect);
}

HWND IeBrowser::ControlWindow() const {
  auto window = object_.As<IOleWindow>(IID_IOleWindow);
  HWND handle = nullptr;
  if (!window || FAILED(window->GetWindow(&handle))) return nullptr;
  return handle;
}

bool IeBrowser::TranslateAccelerator(MSG& msg) {
  if (!browser_ || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  HWND control = ControlWindow();
  if (control == nullptr || (msg.hwnd != control && !IsChild(control, msg.hwnd))) return false;
  auto active = browser_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  return active && active->TranslateAccelerator(&msg) == S_OK;
}

void IeBrowser::OnBeforeNavigate2(const DISPPARAMS& params) {
  ++before_navigate_events_;
  const auto url = EventUrl(params, kDispidBeforeNavigate2);
  if (!url || !before_navigate_) return;
  SetEventCancel(params, kDispidBeforeNavigate2, before_navigate_(WideToAnsi(*url)));
}

void IeBrowser::OnNavigateError(const DISPPARAMS&) {
  ++navigate_error_events_;
  failed_ = true;
}

bool IeBrowser::Navigate(const std::string& url) {
  if (!browser_) return false;
  failed_ = false;
  const Bstr target(AnsiToWide(url));
  if (!target) return false;
  VARIANT empty[4];
  for (VARIANT& v : empty)
    VariantInit(&v);
  return SUCCEEDED(browser_->Navigate(target.Get(), &empty[0], &empty[1], &empty[2], &empty[3]));
}

PageStatus IeBrowser::Status() {
  // Without a control nothing will ever load: the wait may end at once.
  if (!browser_ || failed_) return PageStatus::kFailed;
  READYSTATE state = READYSTATE_UNINITIALIZED;
  if (FAILED(browser_->get_ReadyState(&state))) return PageStatus::kLoading;
  return state >= READYSTATE_INTERACTIVE ? PageStatus::kInteractive : PageStatus::kLoading;
}

ComPtr<IDispatch> IeBrowser::Anchors() {
  if (!browser_) return {};
  ComPtr<IDispatch> document;
  if (FAILED(browser_->get_Document(document.Put())) || !document) return {};
  return GetObject(document.Get(), L"anchors");
}

std::optional<std::vector<std::string>> IeBrowser::AnchorNames() {
  const auto anchors = Anchors();
  const auto count = Length(anchors.Get());
  if (!count) return std::nullopt;
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(*count > 0 ? *count : 0));
  for (int i = 0; i < *count; ++i) {
    const auto anchor = Item(anchors.Get(), i);
    names.push_back(anchor ? Name(anchor.Get()) : std::string());
  }
  return names;
}

std::optional<int> IeBrowser::AnchorCount() {
  return Length(Anchors().Get());
}

bool IeBrowser::ScrollIntoView(int ordinal) {
  const auto anchor = Item(Anchors().Get(), ordinal);
  return anchor &&
         SUCCEEDED(Call(anchor.Get(), L"scrollIntoView", DISPATCH_METHOD, nullptr, 0, nullptr));
}

void IeBrowser::Copy() {
  // A failed copy (nothing selected, no page) is not worth a word.
  if (browser_) browser_->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
}

void IeBrowser::Focus() {
  HWND control = ControlWindow();
  if (control == nullptr) return;
  HWND page = FindDescendant(control, "Internet Explorer_Server");
  SetFocus(page != nullptr ? page : control);
}

}  // namespace vellum
