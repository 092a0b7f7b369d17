// The browser port over the WebBrowser ActiveX control (IWebBrowser2),
// hosted in place by our own small site object, without ATL.
#pragma once

#include <exdisp.h>
#include <oleidl.h>
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/com_win.h"
#include "core/ports.h"

namespace vellum {

class IeBrowser final : public BrowserPort {
 public:
  // Asked before every navigation with its URL; true cancels it.
  using BeforeNavigate = std::function<bool(std::string_view url)>;

  explicit IeBrowser(BeforeNavigate before_navigate);
  IeBrowser(const IeBrowser&) = delete;
  IeBrowser& operator=(const IeBrowser&) = delete;
  ~IeBrowser() override;

  // Creates the control in place inside parent, covering rect (in the
  // parent's client coordinates). Needs OLE initialised on this thread.
  HRESULT Create(HWND parent, const RECT& rect);
  // Lets go of the control; events that still arrive are dropped.
  void Close();
  bool Created() const { return static_cast<bool>(browser_); }
  void SetRect(const RECT& rect);
  // The control's own window, or null.
  HWND ControlWindow() const;
  // Offers a key message for one of the control's windows to the control
  // (its own shortcuts, such as copy); true when the control took it.
  bool TranslateAccelerator(MSG& msg);

  // What the control reported since it was created.
  int BeforeNavigateEvents() const { return before_navigate_events_; }
  int NavigateErrorEvents() const { return navigate_error_events_; }

  // BrowserPort
  bool Navigate(const std::string& url) override;
  PageStatus Status() override;
  std::optional<std::vector<std::string>> AnchorNames() override;
  std::optional<int> AnchorCount() override;
  bool ScrollIntoView(int ordinal) override;
  void Copy() override;
  void Focus() override;

 private:
  class Site;
  friend class Site;

  // The control's events, from the site's IDispatch.
  void OnBeforeNavigate2(const DISPPARAMS& params);
  void OnNavigateError(const DISPPARAMS& params);
  // The page's anchors collection (Document.anchors), or null.
  ComPtr<IDispatch> Anchors();

  BeforeNavigate before_navigate_;
  ComPtr<Site> site_;
  ComPtr<IOleObject> object_;
  ComPtr<IWebBrowser2> browser_;
  unsigned long advise_cookie_ = 0;
  HWND parent_ = nullptr;
  bool failed_ = false;  // the running navigation ended in an error
  int before_navigate_events_ = 0;
  int navigate_error_events_ = 0;
};

}  // namespace vellum
