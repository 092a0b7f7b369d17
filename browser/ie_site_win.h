// The one COM object the WebBrowser control talks to: its client site, its
// in-place site and frame, its document host (IDocHostUIHandler), the
// source of its ambient properties and the sink of its events. Counted; the
// browser holds one reference, the control the others.
#pragma once

#include <docobj.h>
#include <mshtmhst.h>
#include <oleidl.h>
#include <windows.h>

namespace vellum {

// What the site passes on to its owner. Called on the control's thread;
// nothing may be thrown back.
class SiteListener {
 public:
  // One of the events IsReadEvent names, with its arguments as Invoke got them.
  virtual void OnBrowserEvent(DISPID event, DISPPARAMS& params) = 0;
  // The control wants a context menu (a right click the hook did not take,
  // or a keyboard request); screen coordinates.
  virtual void OnContextMenu(POINT screen) = 0;
  // The control asks its host about a key: true drops it.
  virtual bool DropsKey(const MSG& msg) = 0;

 protected:
  ~SiteListener() = default;
};

// COM objects are destroyed by their own Release, never through an interface
// pointer, so the interfaces' lack of virtual destructors does not matter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler,
                          public IDispatch {
 public:
  // Starts with one reference, the creator's. parent is the window the
  // control lives in; place its rectangle there.
  BrowserSite(SiteListener* listener, HWND parent, const RECT& place);
  BrowserSite(const BrowserSite&) = delete;
  BrowserSite& operator=(const BrowserSite&) = delete;

  // The owner lets go: later calls reach nobody.
  void Detach() { listener_ = nullptr; }
  // The control's place; the in-place object moves there when attached.
  void SetPlace(const RECT& place);
  const RECT& Place() const { return place_; }
  void SetInPlaceObject(IOleInPlaceObject* object);

  // The ambient properties the control asked for, as a bit set of
  // kAsked* flags (for the page-side check).
  unsigned AmbientsAsked() const { return ambients_asked_; }
  static constexpr unsigned kAskedUserMode = 1;
  static constexpr unsigned kAskedDownloadControl = 2;
  static constexpr unsigned kAskedSilent = 4;
  static constexpr unsigned kAskedHostInfo = 8;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleClientSite
  STDMETHODIMP SaveObject() override;
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
  STDMETHODIMP GetContainer(IOleContainer** out) override;
  STDMETHODIMP ShowObject() override;
  STDMETHODIMP OnShowWindow(BOOL) override;
  STDMETHODIMP RequestNewObjectLayout() override;

  // IOleWindow, for the in-place site and the frame alike.
  STDMETHODIMP GetWindow(HWND* out) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override;

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override;
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override;
  STDMETHODIMP OnUIDeactivate(BOOL) override;
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override;
  STDMETHODIMP DeactivateAndUndo() override;
  STDMETHODIMP OnPosRectChange(LPCRECT place) override;

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, tools or status bar.
  STDMETHODIMP GetBorder(LPRECT) override;
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override;
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override;
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override;
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override;
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override;
  STDMETHODIMP RemoveMenus(HMENU) override;
  STDMETHODIMP SetStatusText(LPCOLESTR) override;
  STDMETHODIMP EnableModeless(BOOL) override;  // also IDocHostUIHandler's
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override;

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT* at, IUnknown*, IDispatch*) override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override;
  STDMETHODIMP HideUI() override;
  STDMETHODIMP UpdateUI() override;
  STDMETHODIMP OnDocWindowActivate(BOOL) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override;
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override;
  STDMETHODIMP GetExternal(IDispatch** out) override;
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override;
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override;

  // IDispatch: ambient properties and the control's DWebBrowserEvents2.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override;

  // The flags GetHostInfo gives: no 3-D borders, no help menu, themed
  // controls, and page pixels scaled by the system's DPI.
  static DWORD HostFlags();

 private:
  ~BrowserSite();

  ULONG references_ = 1;
  SiteListener* listener_;
  HWND parent_;
  RECT place_;
  IOleInPlaceObject* in_place_ = nullptr;  // counted
  unsigned ambients_asked_ = 0;
};
#pragma GCC diagnostic pop

}  // namespace vellum
