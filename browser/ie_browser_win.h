// The browser port over the WebBrowser ActiveX control (IWebBrowser2),
// hosted in place by our own small site object, without ATL.
#pragma once

#include <exdisp.h>
#include <mshtml.h>
#include <oleidl.h>
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/com_win.h"
#include "browser/ie_site_win.h"
#include "core/ports.h"

namespace vellum {

// The document mode pages with a !DOCTYPE get: IE11's edge mode, set for this executable
// and user under kBrowserEmulationKey before the control first comes up.
inline constexpr const wchar_t* kBrowserEmulationKey =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
inline constexpr DWORD kNewestDocumentMode = 11001;
// Sets it (IeBrowser::Create does, every time): ERROR_SUCCESS, or why not.
LSTATUS RequestNewestDocumentMode();

// Element `index` of a document collection, or empty.
ComPtr<IDispatch> ItemAt(IHTMLElementCollection& collection, long index);

class IeBrowser final : public BrowserPort, private SiteListener {
 public:
  // Asked before every navigation with its URL; true cancels it. Also asked
  // with the URL of a link the user opens "in a new window", which never
  // opens: the answer does not matter there.
  using BeforeNavigate = std::function<bool(std::string_view url)>;
  // The control wants a context menu at a screen point.
  using ContextMenu = std::function<void(POINT screen)>;

  explicit IeBrowser(BeforeNavigate before_navigate, ContextMenu context_menu = {});
  IeBrowser(const IeBrowser&) = delete;
  IeBrowser& operator=(const IeBrowser&) = delete;
  ~IeBrowser() override;

  // Creates the control in place inside parent, covering rect (in the
  // parent's client coordinates). Needs OLE initialised on this thread.
  HRESULT Create(HWND parent, const RECT& rect);
  // Lets go of the control; events that still arrive are dropped.
  void Close();
  bool Created() const { return static_cast<bool>(browser_); }
  // Called, inside the control's event, each time a new document stands
  // whole (a file's at its DocumentComplete, ours once it is loaded).
  void SetDocumentStood(std::function<void()> stood) { document_stood_ = std::move(stood); }
  void SetRect(const RECT& rect);
  // The control's own window, or null.
  HWND ControlWindow() const;
  // Applies both zooms to the document shown.
  void ApplyZoom();
  // The document shown, as HTML; empty when there is none.
  ComPtr<IHTMLDocument2> HtmlDocument() const;
  // The selection's text range in the document shown; empty when none.
  ComPtr<IHTMLTxtRange> SelectedRange() const;
  // True when window is the control's or one of its children.
  bool IsControlWindow(HWND window) const;
  // True when msg is a key message for one of the control's windows.
  bool IsControlKey(const MSG& msg) const;
  // Offers a key message for one of the control's windows to the control's
  // own shortcuts (copy, select all, scrolling, Tab); true when the control
  // took it. Call only for keys that RouteKey offers.
  bool TranslateAccelerator(MSG& msg);

  // What the control reported since it was created.
  int BeforeNavigateEvents() const { return before_navigate_events_; }
  int NavigateErrorEvents() const { return navigate_error_events_; }
  int NewWindowEvents() const { return new_window_events_; }
  int DocumentCompleteEvents() const { return document_complete_events_; }
  // The site, for the page-side check: what the control asked of it.
  BrowserSite* Site() const { return site_.Get(); }
  // The control itself (empty when not created), for checks.
  ComPtr<IWebBrowser2> Control() const { return browser_; }
  // The document's mode (5, 7, 8, ... 11), or nullopt without a document.
  std::optional<int> DocumentMode();
  // The text of the selection in the page ("" when none).
  std::optional<std::wstring> SelectionText();
  // The top of the anchor's box in the page's client area, for checks.
  std::optional<long> AnchorTop(int ordinal);

  // BrowserPort
  bool Navigate(const std::string& url) override;
  PageStatus Status() override;
  std::optional<std::vector<std::string>> AnchorNames() override;
  std::optional<int> AnchorCount() override;
  bool ScrollIntoView(int ordinal) override;
  void Copy() override;
  // With ie_find_win.cpp's text ranges.
  std::optional<PageSelection> Selection() override;
  void Print() override;

  // Scales every page for the DPI of the monitor the window is on, now and
  // for each new document: with DOCHOSTUIFLAG_DPI_AWARE the optical zoom is
  // the page's whole scale against 96 DPI (PageZoomPercent). The reader's
  // text size (SetTextSize) multiplies with it.
  void SetWindowDpi(int dpi);
  void SetTextSize(int percent) override;
  void Focus() override;
  // A blank document first; once it stands, the page is loaded into it from
  // memory (IPersistStreamInit::Load), and is ready when the document says
  // it is complete.
  bool ShowHtml(const std::string& html) override;
  // Each document's root is marked dark or light (see WithThemeClass) from
  // now on, the one shown at once.
  void SetDark(bool dark);

 private:
  bool Start(const std::string& url);
  void LoadPendingHtml();
  void MarkTheme();
  // SiteListener
  void OnBrowserEvent(DISPID event, DISPPARAMS& params) override;
  void OnContextMenu(POINT screen) override;
  bool DropsKey(const MSG& msg) override;

  // True when the event is about the top-level frame, not a frame inside.
  bool IsTopFrame(const DISPPARAMS& params, DISPID event) const;
  // The page's anchors collection (document.anchors), or null.
  ComPtr<IHTMLElementCollection> Anchors();
  ComPtr<IHTMLElement> AnchorElement(int ordinal);

  BeforeNavigate before_navigate_;
  ContextMenu context_menu_;
  ComPtr<BrowserSite> site_;
  ComPtr<IOleObject> object_;
  ComPtr<IWebBrowser2> browser_;
  unsigned long advise_cookie_ = 0;
  HWND parent_ = nullptr;
  // Where the running navigation stands, from the top frame's events.
  bool started_ = false;    // its BeforeNavigate2 went through
  bool navigated_ = false;  // NavigateComplete2: the document exists
  int window_dpi_ = 96;
  int text_size_percent_ = 100;
  bool complete_ = false;                    // DocumentComplete: the document is whole
  bool failed_ = false;                      // NavigateError
  std::optional<std::string> pending_html_;  // our own page, waiting for its blank document
  bool streamed_ = false;                    // our own page was loaded into the document
  bool streamed_marked_ = false;             // ... and its root marked with the theme
  bool marked_early_ = false;                // the root marked while the rest of the page loads
  std::optional<bool> dark_;                 // unknown until the window says
  std::function<void()> document_stood_;
  int before_navigate_events_ = 0;
  int navigate_error_events_ = 0;
  int new_window_events_ = 0;
  int document_complete_events_ = 0;
};

}  // namespace vellum
