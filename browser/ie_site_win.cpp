#include "browser/ie_site_win.h"

#include <exdisp.h>
#include <idispids.h>
#include <mshtmdid.h>
#include <olectl.h>

#include <new>

#include "browser/ie_events_win.h"
#include "core/guarded.h"

namespace vellum {
namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A drop target that takes nothing: a file dropped on a page would replace
// the page behind the viewer's back.
class RefuseDrops final : public IDropTarget {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDropTarget) return E_NOINTERFACE;
    *out = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    return Refuse(effect);
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override { return Refuse(effect); }
  STDMETHODIMP DragLeave() override { return S_OK; }
  STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override { return Refuse(effect); }

 private:
  static HRESULT Refuse(DWORD* effect) {
    if (effect == nullptr) return E_INVALIDARG;
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  ULONG references_ = 1;
};
#pragma GCC diagnostic pop

}  // namespace

BrowserSite::BrowserSite(SiteListener* listener, HWND parent, const RECT& place)
    : listener_(listener), parent_(parent), place_(place) {}

BrowserSite::~BrowserSite() {
  SetInPlaceObject(nullptr);
}

void BrowserSite::SetInPlaceObject(IOleInPlaceObject* object) {
  if (object != nullptr) object->AddRef();
  if (in_place_ != nullptr) in_place_->Release();
  in_place_ = object;
}

void BrowserSite::SetPlace(const RECT& place) {
  place_ = place;
  if (in_place_ != nullptr) in_place_->SetObjectRects(&place_, &place_);
}

// ---- IUnknown ----

STDMETHODIMP BrowserSite::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
    *out = static_cast<IOleClientSite*>(this);
  } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
    *out = static_cast<IOleInPlaceSite*>(this);
  } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
    *out = static_cast<IOleInPlaceFrame*>(this);
  } else if (iid == IID_IDocHostUIHandler) {
    *out = static_cast<IDocHostUIHandler*>(this);
  } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
    *out = static_cast<IDispatch*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) BrowserSite::AddRef() {
  return ++references_;
}

STDMETHODIMP_(ULONG) BrowserSite::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

// ---- IOleClientSite ----

STDMETHODIMP BrowserSite::SaveObject() {
  return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::GetContainer(IOleContainer** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP BrowserSite::ShowObject() {
  return S_OK;
}
STDMETHODIMP BrowserSite::OnShowWindow(BOOL) {
  return S_OK;
}
STDMETHODIMP BrowserSite::RequestNewObjectLayout() {
  return E_NOTIMPL;
}

// ---- IOleWindow ----

STDMETHODIMP BrowserSite::GetWindow(HWND* out) {
  if (out == nullptr) return E_POINTER;
  *out = parent_;
  return S_OK;
}
STDMETHODIMP BrowserSite::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

// ---- IOleInPlaceSite ----

STDMETHODIMP BrowserSite::CanInPlaceActivate() {
  return S_OK;
}
STDMETHODIMP BrowserSite::OnInPlaceActivate() {
  return S_OK;
}
STDMETHODIMP BrowserSite::OnUIActivate() {
  return S_OK;
}

STDMETHODIMP BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO info) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
      info == nullptr)
    return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *document = nullptr;
  // The control's own place, below the title bar: not the whole client area.
  *position = place_;
  *clip = place_;
  info->fMDIApp = FALSE;
  info->hwndFrame = parent_;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

STDMETHODIMP BrowserSite::Scroll(SIZE) {
  return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::OnUIDeactivate(BOOL) {
  return S_OK;
}
STDMETHODIMP BrowserSite::OnInPlaceDeactivate() {
  return S_OK;
}
STDMETHODIMP BrowserSite::DiscardUndoState() {
  return S_OK;
}
STDMETHODIMP BrowserSite::DeactivateAndUndo() {
  return S_OK;
}

STDMETHODIMP BrowserSite::OnPosRectChange(LPCRECT place) {
  if (place == nullptr) return E_POINTER;
  // The object asks for a new place; granting it means telling the object
  // so through SetObjectRects.
  SetPlace(*place);
  return S_OK;
}

// ---- IOleInPlaceUIWindow and IOleInPlaceFrame ----

STDMETHODIMP BrowserSite::GetBorder(LPRECT) {
  return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP BrowserSite::RequestBorderSpace(LPCBORDERWIDTHS) {
  return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP BrowserSite::SetBorderSpace(LPCBORDERWIDTHS) {
  return S_OK;
}
STDMETHODIMP BrowserSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
  return S_OK;
}
STDMETHODIMP BrowserSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
  return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::SetMenu(HMENU, HOLEMENU, HWND) {
  return S_OK;
}
STDMETHODIMP BrowserSite::RemoveMenus(HMENU) {
  return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::SetStatusText(LPCOLESTR) {
  return S_OK;
}
STDMETHODIMP BrowserSite::EnableModeless(BOOL) {
  return S_OK;
}
STDMETHODIMP BrowserSite::TranslateAccelerator(LPMSG, WORD) {
  return S_FALSE;
}

// ---- IDocHostUIHandler ----

STDMETHODIMP BrowserSite::ShowContextMenu(DWORD, POINT* at, IUnknown*, IDispatch*) {
  // S_OK: the host has handled it, so the control never shows its own menu
  // (with "Back", "Refresh", "Open in new window", ...).
  if (listener_ != nullptr && at != nullptr) {
    const POINT point = *at;
    Guarded([&] { listener_->OnContextMenu(point); });
  }
  return S_OK;
}

DWORD BrowserSite::HostFlags() {
  return DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER |
         DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_DPI_AWARE;
}

STDMETHODIMP BrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  ambients_asked_ |= kAskedHostInfo;
  // cbSize is the caller's: it tells which version of the structure it has.
  info->dwFlags = HostFlags();
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  info->pchHostCss = nullptr;
  info->pchHostNS = nullptr;
  return S_OK;
}

STDMETHODIMP BrowserSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                 IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
  return S_OK;  // the host shows its own (none): no menus or tool bars of the control
}
STDMETHODIMP BrowserSite::HideUI() {
  return S_OK;
}
STDMETHODIMP BrowserSite::UpdateUI() {
  return S_OK;
}
STDMETHODIMP BrowserSite::OnDocWindowActivate(BOOL) {
  return S_OK;
}
STDMETHODIMP BrowserSite::OnFrameWindowActivate(BOOL) {
  return S_OK;
}
STDMETHODIMP BrowserSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}

STDMETHODIMP BrowserSite::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
  // S_OK means the host took the key and the control must not act on it.
  if (msg == nullptr || listener_ == nullptr) return S_FALSE;
  bool drop = false;
  if (!Guarded([&] { drop = listener_->DropsKey(*msg); })) return S_OK;
  return drop ? S_OK : S_FALSE;
}

STDMETHODIMP BrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key != nullptr) *key = nullptr;
  return S_FALSE;
}
// The control asks for every document it shows, those loaded from a stream
// too, which never see NavigateComplete2's RegisterAsDropTarget(FALSE)
// (IDocHostUIHandler::GetDropTarget, Microsoft Learn: S_OK with the target
// that replaces the control's own).
STDMETHODIMP BrowserSite::GetDropTarget(IDropTarget*, IDropTarget** out) {
  if (out == nullptr) return E_POINTER;
  *out = new (std::nothrow) RefuseDrops();
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}
STDMETHODIMP BrowserSite::GetExternal(IDispatch** out) {
  if (out != nullptr) *out = nullptr;
  return S_FALSE;
}
STDMETHODIMP BrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
  if (out != nullptr) *out = nullptr;
  return S_FALSE;
}
STDMETHODIMP BrowserSite::FilterDataObject(IDataObject*, IDataObject** out) {
  if (out != nullptr) *out = nullptr;
  return S_FALSE;
}

// ---- IDispatch ----

STDMETHODIMP BrowserSite::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}
STDMETHODIMP BrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO*, UINT*) {
  if (IsReadEvent(id)) {
    if (listener_ != nullptr && params != nullptr)
      Guarded([&] { listener_->OnBrowserEvent(id, *params); });
    return S_OK;
  }
  if (id == DISPID_AMBIENT_USERMODE) ambients_asked_ |= kAskedUserMode;
  if (id == DISPID_AMBIENT_DLCONTROL) ambients_asked_ |= kAskedDownloadControl;
  if (id == DISPID_AMBIENT_SILENT) ambients_asked_ |= kAskedSilent;
  return AnswerAmbient(id, result);
}

}  // namespace vellum
