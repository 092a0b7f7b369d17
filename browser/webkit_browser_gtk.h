// The browser port over a WebKitGTK web view.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"

namespace vellum {

// What a page's ready-state script reports: the document's address (its
// tag), its ready state, and with the first state past "loading" the time it
// took to read the anchor names and the names themselves.
struct ReadyReport {
  std::string address;
  std::string state;
  std::string milliseconds;
  std::optional<std::string> names;
};
// nullopt when the message is not of that form.
std::optional<ReadyReport> ParseReadyReport(std::string_view message);

class WebKitBrowser final : public BrowserPort {
 public:
  // before_navigate decides every navigation action (true cancels it);
  // context_menu is called with the pointer's root position and the event
  // that asked for a menu (may be null) instead of WebKit's own menu.
  using BeforeNavigate = std::function<bool(std::string_view url)>;
  using ContextMenu = std::function<void(int x_root, int y_root, GdkEvent* trigger)>;

  WebKitBrowser(BeforeNavigate before_navigate, ContextMenu context_menu);
  WebKitBrowser(const WebKitBrowser&) = delete;
  WebKitBrowser& operator=(const WebKitBrowser&) = delete;
  ~WebKitBrowser() override;

  GtkWidget* Widget() const { return GTK_WIDGET(view_); }

  bool Navigate(const std::string& url) override;
  void ExpectAnchor(const std::string& name) override;
  PageStatus Status() override;
  std::optional<std::vector<std::string>> AnchorNames() override;
  std::optional<int> AnchorCount() override;
  bool ScrollIntoView(int ordinal) override;
  void Copy() override;
  std::optional<PageSelection> Selection() override;
  void Print() override;
  void Focus() override;
  void SetTextSize(int percent) override;
  bool ShowHtml(const std::string& html) override;
  // Pages are marked dark or light from now on, the one shown at once.
  void SetDark(bool dark);
  // Called from the main loop, outside WebKit's signal, when the page's
  // process ended and the page on screen went with it; not again within
  // ten seconds, so that a page that ends it each time is not loaded forever.
  void SetPageLost(std::function<void()> page_lost) { page_lost_ = std::move(page_lost); }

  // A file path becomes a file URI (a "#fragment" kept as it is);
  // "about:blank" stays itself.
  static std::string UrlToUri(const std::string& url);

 private:
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri,
                               GError* error, gpointer self);
  static void OnReadyState(WebKitUserContentManager* manager, WebKitJavascriptResult* result,
                           gpointer self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static void OnProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                  gpointer self);
  static gboolean OnPageLostIdle(gpointer self);

  // The viewer's document-start script, for pages expected at this anchor
  // ("" for none), in place of any earlier one.
  void InstallReadyScript(WebKitUserContentManager* content, const std::string& expected_anchor);

  // Keeps book pages off the network: only local resources load. nullopt
  // when the filter is in place, else why not.
  static std::optional<std::string> LoadLocalOnlyFilter(WebKitUserContentManager* content);

  // Runs a script in the page and waits for its value (the main loop turns
  // meanwhile); nullptr on failure or after the time limit.
  JSCValue* RunScript(const std::string& script);

  WebKitWebView* view_ = nullptr;
  // The print under way, kept until the next: WebKit prints after its
  // dialog has closed.
  WebKitPrintOperation* print_ = nullptr;
  std::vector<gulong> handlers_;
  gulong ready_handler_ = 0;
  BeforeNavigate before_navigate_;
  ContextMenu context_menu_;

  // The anchor the next navigation is expected at, and the one the installed
  // document-start script scrolls to.
  std::string expected_anchor_;
  std::string installed_anchor_;
  std::optional<bool> dark_;  // unknown until the window says
  std::function<void()> page_lost_;
  guint page_lost_source_ = 0;
  std::optional<gint64> page_lost_us_;  // when it was last reported

  // Why the network filter is missing; empty when it is in place. Without
  // it no page from a file is loaded at all.
  std::string filter_failure_;

  // The navigation the viewer is waiting for.
  std::string pending_uri_;
  PageStatus status_ = PageStatus::kInteractive;
  bool committed_ = false;
  std::string committed_uri_;  // the committed document's address, without fragment
  // The anchor names the page sent with its interactive state.
  std::optional<std::vector<std::string>> early_names_;
  std::string early_names_ms_;  // how long the page took to read them
};

}  // namespace vellum
