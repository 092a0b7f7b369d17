#include "browser/webkit_browser_gtk.h"

#include "browser/webkit_page_scripts.h"
#include "core/anchors.h"
#include "core/guarded.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <utility>

namespace vellum {
namespace {

constexpr gint64 kScriptLimitUs = 5'000'000;

// Book pages are untrusted: they may load what a page on disk is made of
// (files, data: and about: addresses), never anything from a network.
constexpr const char* kLocalOnlyRules =
    R"([{"trigger": {"url-filter": ".*"}, "action": {"type": "block"}},)"
    R"( {"trigger": {"url-filter": "^file:"}, "action": {"type": "ignore-previous-rules"}},)"
    R"( {"trigger": {"url-filter": "^data:"}, "action": {"type": "ignore-previous-rules"}},)"
    R"( {"trigger": {"url-filter": "^about:"}, "action": {"type": "ignore-previous-rules"}},)"
    R"( {"trigger": {"url-filter": "^blob:"}, "action": {"type": "ignore-previous-rules"}}])";
constexpr const char* kLocalOnlyFilterId = "vellum-local-only";
constexpr gint64 kFilterLimitUs = 5'000'000;

std::string WithoutFragment(std::string_view uri) {
  return std::string(uri.substr(0, uri.find('#')));
}

}  // namespace

std::optional<ReadyReport> ParseReadyReport(std::string_view message) {
  // address \n state \n milliseconds [\n names]
  const std::size_t first = message.find('\n');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = message.find('\n', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::size_t third = message.find('\n', second + 1);
  ReadyReport report;
  report.address = std::string(message.substr(0, first));
  report.state = std::string(message.substr(first + 1, second - first - 1));
  report.milliseconds = std::string(message.substr(
      second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1));
  if (third != std::string_view::npos && third + 1 < message.size())
    report.names = std::string(message.substr(third + 1));
  return report;
}

namespace {

struct ScriptCall {
  bool done = false;
  JSCValue* value = nullptr;
};

// Nothing a page could use to reach the network before the filter sees a
// load: no name look-ups and no connections opened ahead of a link
// (<link rel="dns-prefetch">, "preconnect", "prefetch", early hints).
void TurnOffEarlyConnections(WebKitSettings* settings) {
  static constexpr std::string_view kEarly[] = {"LinkDNSPrefetch", "LinkPreconnect",
                                                "LinkPreconnectEarlyHints", "LinkPrefetch"};
  WebKitFeatureList* features = webkit_settings_get_all_features();
  for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
    WebKitFeature* feature = webkit_feature_list_get(features, i);
    const char* id = webkit_feature_get_identifier(feature);
    if (id != nullptr && std::find(std::begin(kEarly), std::end(kEarly), id) != std::end(kEarly))
      webkit_settings_set_feature_enabled(settings, feature, FALSE);
  }
  webkit_feature_list_unref(features);
}

// The page shown instead of any page from a file while the network filter
// is missing: plain, with the reason.
std::string NotShownPage(const std::string& reason) {
  std::string escaped;
  for (const char c : reason) {
    if (c == '<') {
      escaped += "&lt;";
    } else if (c == '>') {
      escaped += "&gt;";
    } else if (c == '&') {
      escaped += "&amp;";
    } else {
      escaped += c;
    }
  }
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Not shown</title></head>"
         "<body style=\"font: 14px sans-serif; margin: 2em\"><h3>Book pages are not shown</h3>"
         "<p>Vellum could not make sure that pages stay off the network, so it shows none: " +
         escaped + ".</p><p>Starting Vellum again usually helps.</p></body></html>";
}

}  // namespace

WebKitBrowser::WebKitBrowser(BeforeNavigate before_navigate, ContextMenu context_menu)
    : before_navigate_(std::move(before_navigate)), context_menu_(std::move(context_menu)) {
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  ready_handler_ = g_signal_connect(content, "script-message-received::vellumReady",
                                    G_CALLBACK(OnReadyState), this);
  webkit_user_content_manager_register_script_message_handler_in_world(content, "vellumReady",
                                                                       kViewerWorld);
  InstallReadyScript(content, "");
  // Found words and the selection readable on every page, dark or light.
  WebKitUserStyleSheet* marks = webkit_user_style_sheet_new(
      ReadableMarksStyleSheet().c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_STYLE_LEVEL_AUTHOR, nullptr, nullptr);
  webkit_user_content_manager_add_style_sheet(content, marks);
  webkit_user_style_sheet_unref(marks);

  // Book pages keep nothing: no cookies, storage, caches or HSTS list on
  // disk. The default context would write them into $XDG_DATA_HOME/vellum,
  // the very folder that holds the reader's libraries.
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);  // the context holds it now
  // The viewer keeps its own history and shows one page at a time: pages it
  // left are never shown again from memory, so WebKit keeps none of them (the
  // back/forward page cache) and holds no browser-sized memory cache.
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                       "user-content-manager", content, nullptr));
  g_object_unref(context);  // the view holds it now
  g_object_unref(content);
  g_object_ref_sink(view_);

  // What a book page may do: show itself and run its own scripts. It may not
  // read other files through scripts, open windows, or reach the network;
  // the developer tools stay off.
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_page_cache(settings, FALSE);
  // Traced, the pages' console goes to standard output: what a page reports
  // of itself (the benchmark's pages their scroll times) reaches the log
  // without anything polling the page.
  if (g_getenv("VELLUM_TRACE") != nullptr)
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, TRUE);
  TurnOffEarlyConnections(settings);
  if (std::optional<std::string> failure = LoadLocalOnlyFilter(content)) {
    filter_failure_ = *failure;
    std::fprintf(stderr, "vellum: book pages are not shown: %s\n", filter_failure_.c_str());
  }

  handlers_.push_back(g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this));
  handlers_.push_back(g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this));
  handlers_.push_back(g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this));
  handlers_.push_back(g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this));
  handlers_.push_back(
      g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnProcessTerminated), this));
}

WebKitBrowser::~WebKitBrowser() {
  if (page_lost_source_ != 0) g_source_remove(page_lost_source_);
  for (gulong id : handlers_)
    g_signal_handler_disconnect(view_, id);
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
  g_signal_handler_disconnect(content, ready_handler_);
  if (print_ != nullptr) g_object_unref(print_);
  g_object_unref(view_);
}

std::optional<std::string> WebKitBrowser::LoadLocalOnlyFilter(WebKitUserContentManager* content) {
  // The filter is compiled into a store on disk, in a folder of its own that
  // goes once the compiled filter is loaded.
  GError* error = nullptr;
  gchar* folder = g_dir_make_tmp("vellum-filter-XXXXXX", &error);
  if (folder == nullptr) {
    const std::string failure = std::string(
                                    "no folder for the filter that keeps them off the "
                                    "network: ") +
                                (error != nullptr ? error->message : "unknown error");
    g_clear_error(&error);
    return failure;
  }
  struct FilterCall {
    bool done = false;
    bool abandoned = false;  // the wait gave up: a late filter is let go
    WebKitUserContentFilter* filter = nullptr;
    std::string error;
  };
  auto call = std::make_shared<FilterCall>();
  WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(folder);
  GBytes* rules = g_bytes_new_static(kLocalOnlyRules, std::strlen(kLocalOnlyRules));
  webkit_user_content_filter_store_save(
      store, kLocalOnlyFilterId, rules, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<FilterCall>> owned(
            static_cast<std::shared_ptr<FilterCall>*>(data));
        GError* failure = nullptr;
        (*owned)->filter = webkit_user_content_filter_store_save_finish(
            WEBKIT_USER_CONTENT_FILTER_STORE(source), result, &failure);
        if (failure != nullptr) Guarded([&] { (*owned)->error = failure->message; });
        g_clear_error(&failure);
        (*owned)->done = true;
        if ((*owned)->abandoned && (*owned)->filter != nullptr) {
          webkit_user_content_filter_unref((*owned)->filter);
          (*owned)->filter = nullptr;
        }
      },
      new std::shared_ptr<FilterCall>(call));
  g_bytes_unref(rules);
  const gint64 deadline = g_get_monotonic_time() + kFilterLimitUs;
  while (!call->done && g_get_monotonic_time() < deadline)
    g_main_context_iteration(nullptr, TRUE);
  call->abandoned = !call->done;
  std::optional<std::string> failure;
  if (call->filter != nullptr) {
    webkit_user_content_manager_add_filter(content, call->filter);
    webkit_user_content_filter_unref(call->filter);
    call->filter = nullptr;
  } else {
    failure = "the filter that keeps them off the network failed: " +
              (call->done ? call->error : std::string("no answer in time"));
  }
  g_object_unref(store);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  g_free(folder);
  return failure;
}

void WebKitBrowser::InstallReadyScript(WebKitUserContentManager* content,
                                       const std::string& expected_anchor) {
  webkit_user_content_manager_remove_all_scripts(content);
  WebKitUserScript* script = webkit_user_script_new_for_world(
      ReadyStateScript(expected_anchor).c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kViewerWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
  if (dark_) {
    WebKitUserScript* theme = webkit_user_script_new_for_world(
        ThemeClassScript(*dark_).c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kViewerWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, theme);
    webkit_user_script_unref(theme);
  }
  installed_anchor_ = expected_anchor;
}

void WebKitBrowser::ExpectAnchor(const std::string& name) {
  // The name goes into a script: only a name of letters and digits is taken.
  const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
  expected_anchor_ = plain ? name : std::string();
}

std::string WebKitBrowser::UrlToUri(const std::string& url) {
  if (url == "about:blank") return url;
  const std::size_t hash = url.find('#');
  const std::string path = url.substr(0, hash);
  GError* error = nullptr;
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
  if (uri == nullptr) {
    g_clear_error(&error);
    return "about:blank";
  }
  std::string result = uri;
  g_free(uri);
  if (hash != std::string::npos) result += url.substr(hash);
  return result;
}

bool WebKitBrowser::Navigate(const std::string& url) {
  if (!filter_failure_.empty() && url != "about:blank") {
    // Fail closed: without the filter a page could reach the network.
    pending_uri_ = "about:blank";
    committed_ = false;
    early_names_.reset();
    status_ = PageStatus::kLoading;
    webkit_web_view_load_html(view_, NotShownPage(filter_failure_).c_str(), nullptr);
    return true;
  }
  const std::string uri = UrlToUri(url);
  const char* current = webkit_web_view_get_uri(view_);
  const bool same_document = current != nullptr && uri.find('#') != std::string::npos &&
                             WithoutFragment(current) == WithoutFragment(uri) &&
                             status_ == PageStatus::kInteractive;
  pending_uri_ = uri;
  // A page expected at an anchor is loaded with it as its fragment, so that
  // WebKit scrolls there as soon as the anchor is parsed and laid out, and
  // the document-start script knows it too (the scripts reach the web process
  // before the load they are for).
  const std::string expected_anchor = std::exchange(expected_anchor_, std::string());
  if (expected_anchor != installed_anchor_)
    InstallReadyScript(webkit_web_view_get_user_content_manager(view_), expected_anchor);
  const bool with_fragment = !expected_anchor.empty() && uri.find('#') == std::string::npos;
  // A jump within the document on screen keeps that document: it stays the
  // committed one. Any other navigation has committed nothing yet.
  committed_ = same_document;
  early_names_.reset();
  status_ = PageStatus::kLoading;
  webkit_web_view_load_uri(view_,
                           with_fragment ? (uri + "#" + expected_anchor).c_str() : uri.c_str());
  // A jump within the document on screen loads nothing: it is ready as it is.
  if (same_document && status_ == PageStatus::kLoading) status_ = PageStatus::kInteractive;
  return true;
}

// Loaded as a document of its own with no base: it reaches no file and no
// network, and its links come through the navigation policy as any page's.
bool WebKitBrowser::ShowHtml(const std::string& html) {
  pending_uri_ = "about:blank";
  committed_ = false;
  early_names_.reset();
  expected_anchor_.clear();
  if (!installed_anchor_.empty())
    InstallReadyScript(webkit_web_view_get_user_content_manager(view_), "");
  status_ = PageStatus::kLoading;
  webkit_web_view_load_html(view_, html.c_str(), nullptr);
  return true;
}

PageStatus WebKitBrowser::Status() {
  return status_;
}

gboolean WebKitBrowser::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                       WebKitPolicyDecisionType type, gpointer data) {
  auto* self = static_cast<WebKitBrowser*>(data);
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
      type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  gboolean handled = FALSE;
  Guarded([&] {
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const std::string url = uri != nullptr ? uri : "";
    const bool cancel = self->before_navigate_(url);
    handled = TRUE;
    if (cancel) {
      webkit_policy_decision_ignore(decision);
      // The page stays: a navigation the viewer was waiting for is over.
      if (url == self->pending_uri_ && self->status_ == PageStatus::kLoading) {
        self->status_ = PageStatus::kInteractive;
      }
      return;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      // One window only: the link opens here.
      webkit_policy_decision_ignore(decision);
      webkit_web_view_load_uri(self->view_, url.c_str());
      return;
    }
    webkit_policy_decision_use(decision);
  });
  return handled;
}

void WebKitBrowser::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<WebKitBrowser*>(data);
  Guarded([&] {
    if (event == WEBKIT_LOAD_COMMITTED) {
      self->committed_ = true;
      // The document now on screen: reports from any other are not its.
      const gchar* uri = webkit_web_view_get_uri(view);
      self->committed_uri_ = uri != nullptr ? WithoutFragment(uri) : std::string();
      self->early_names_.reset();
    }
    // The end of the load before ours (its resources can finish after the
    // viewer asked for the next page) is not the end of ours.
    if (event == WEBKIT_LOAD_FINISHED && self->committed_ &&
        self->status_ == PageStatus::kLoading) {
      self->status_ = PageStatus::kInteractive;
    }
  });
}

gboolean WebKitBrowser::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                     gpointer data) {
  auto* self = static_cast<WebKitBrowser*>(data);
  Guarded([&] {
    // A load that a newer one replaced is not the one being waited for.
    const bool replaced =
        g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED);
    if (!replaced && uri != nullptr &&
        WithoutFragment(uri) == WithoutFragment(self->pending_uri_) &&
        self->status_ == PageStatus::kLoading) {
      self->status_ = PageStatus::kFailed;
    }
  });
  return FALSE;  // WebKit shows its own error page
}

void WebKitBrowser::OnReadyState(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                 gpointer data) {
  auto* self = static_cast<WebKitBrowser*>(data);
  Guarded([&] {
    if (!self->committed_ || self->status_ != PageStatus::kLoading) return;
    gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(result));
    const std::string message = text != nullptr ? text : "";
    g_free(text);
    const auto report = ParseReadyReport(message);
    if (!report || WithoutFragment(report->address) != self->committed_uri_) return;
    if (report->state != "interactive" && report->state != "complete") return;
    if (report->names) {
      self->early_names_ = DecodeAnchorNameList(*report->names);
      self->early_names_ms_ = report->milliseconds;
    }
    self->status_ = PageStatus::kInteractive;
  });
}

gboolean WebKitBrowser::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event,
                                      WebKitHitTestResult*, gpointer data) {
  auto* self = static_cast<WebKitBrowser*>(data);
  Guarded([&] {
    gdouble x = 0;
    gdouble y = 0;
    if (event == nullptr || !gdk_event_get_root_coords(event, &x, &y)) {
      GdkDevice* pointer =
          gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
      gint px = 0;
      gint py = 0;
      gdk_device_get_position(pointer, nullptr, &px, &py);
      x = px;
      y = py;
    }
    self->context_menu_(static_cast<int>(x), static_cast<int>(y), event);
  });
  return TRUE;  // WebKit shows no menu of its own
}

JSCValue* WebKitBrowser::RunScript(const std::string& script) {
  auto call = std::make_shared<ScriptCall>();
  auto* holder = new std::shared_ptr<ScriptCall>(call);
  webkit_web_view_evaluate_javascript(
      view_, script.c_str(), -1, kViewerWorld, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<ScriptCall>> owned(
            static_cast<std::shared_ptr<ScriptCall>*>(data));
        GError* error = nullptr;
        JSCValue* value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        g_clear_error(&error);
        (*owned)->value = value;
        (*owned)->done = true;
      },  // nothing here can throw
      holder);
  const gint64 deadline = g_get_monotonic_time() + kScriptLimitUs;
  while (!call->done && g_get_monotonic_time() < deadline)
    g_main_context_iteration(nullptr, TRUE);
  // A late answer is dropped by the callback, which owns its own reference.
  if (!call->done) return nullptr;
  JSCValue* value = call->value;
  call->value = nullptr;
  return value;
}

std::optional<std::vector<std::string>> WebKitBrowser::AnchorNames() {
  const gint64 start = g_get_monotonic_time();
  if (early_names_) {
    // Read by the page itself when it became interactive.
    std::optional<std::vector<std::string>> names = std::move(early_names_);
    early_names_.reset();
    if (g_getenv("VELLUM_TRACE") != nullptr) {
      std::fprintf(stderr, "vellum: %zu anchor names in one call, %s ms, with the ready state\n",
                   names->size(), early_names_ms_.c_str());
    }
    return names;
  }
  // One string for all names: turning a large array into strings one element
  // at a time costs far more than the call into the page.
  JSCValue* value = RunScript(TaggedAnchorNamesScript());
  if (value == nullptr) return std::nullopt;
  std::optional<std::vector<std::string>> names;
  if (jsc_value_is_string(value)) {
    gchar* joined = jsc_value_to_string(value);
    const std::string_view text = joined != nullptr ? joined : "";
    // Names of a document other than the one the viewer loaded are not its.
    const std::size_t line = text.find('\n');
    if (committed_ && line != std::string_view::npos &&
        WithoutFragment(text.substr(0, line)) == committed_uri_)
      names = DecodeAnchorNameList(text.substr(line + 1));
    g_free(joined);
  }
  g_object_unref(value);
  if (g_getenv("VELLUM_TRACE") != nullptr && names) {
    std::fprintf(stderr, "vellum: %zu anchor names in one call, %.1f ms\n", names->size(),
                 static_cast<double>(g_get_monotonic_time() - start) / 1000.0);
  }
  return names;
}

std::optional<int> WebKitBrowser::AnchorCount() {
  JSCValue* value = RunScript("document.anchors.length");
  if (value == nullptr) return std::nullopt;
  std::optional<int> count;
  if (jsc_value_is_number(value)) count = jsc_value_to_int32(value);
  g_object_unref(value);
  return count;
}

bool WebKitBrowser::ScrollIntoView(int ordinal) {
  // The scroll needs no answer: it is sent after everything asked before it.
  const std::string script = ScrollScript(ordinal);
  if (g_getenv("VELLUM_TRACE") != nullptr) {
    std::fprintf(stderr, "vellum: scroll to anchor %d at %.1f ms\n", ordinal,
                 static_cast<double>(g_get_real_time()) / 1000.0);
  }
  webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, kViewerWorld, nullptr, nullptr,
                                      nullptr, nullptr);
  return true;
}

void WebKitBrowser::Copy() {
  webkit_web_view_execute_editing_command(view_, WEBKIT_EDITING_COMMAND_COPY);
}

std::optional<PageSelection> WebKitBrowser::Selection() {
  JSCValue* value = RunScript(SelectionScript());
  if (value == nullptr) return std::nullopt;
  std::optional<PageSelection> selection;
  if (jsc_value_is_string(value)) {
    gchar* joined = jsc_value_to_string(value);
    const std::string_view text = joined != nullptr ? joined : "";
    const std::size_t first_end = text.find('\n');
    const std::size_t last_end =
        first_end == std::string_view::npos ? first_end : text.find('\n', first_end + 1);
    if (last_end != std::string_view::npos) {
      selection.emplace();
      selection->first_anchor = text.substr(0, first_end);
      selection->last_anchor = text.substr(first_end + 1, last_end - first_end - 1);
      selection->text = text.substr(last_end + 1);
    }
    g_free(joined);
  }
  g_object_unref(value);
  return selection;
}

void WebKitBrowser::Print() {
  if (print_ != nullptr) g_object_unref(print_);
  print_ = webkit_print_operation_new(view_);
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
  webkit_print_operation_run_dialog(print_, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
}

void WebKitBrowser::Focus() {
  gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void WebKitBrowser::SetDark(bool dark) {
  if (dark_ == dark) return;
  dark_ = dark;
  InstallReadyScript(webkit_web_view_get_user_content_manager(view_), installed_anchor_);
  webkit_web_view_evaluate_javascript(view_, ThemeClassScript(dark).c_str(), -1, kViewerWorld,
                                      nullptr, nullptr, nullptr, nullptr);
}

void WebKitBrowser::OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                        gpointer data) {
  auto* self = static_cast<WebKitBrowser*>(data);
  Guarded([&] {
    std::fprintf(stderr, "vellum: the page's process ended (%s)\n",
                 reason == WEBKIT_WEB_PROCESS_CRASHED                 ? "it crashed"
                 : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "out of memory"
                                                                      : "ended");
    // A wait for the page ends now, not at its time limit.
    if (self->status_ == PageStatus::kLoading) self->status_ = PageStatus::kFailed;
    constexpr gint64 kQuietUs = 10'000'000;
    const gint64 now = g_get_monotonic_time();
    if (self->page_lost_us_ && now - *self->page_lost_us_ < kQuietUs) return;
    self->page_lost_us_ = now;
    if (self->page_lost_ && self->page_lost_source_ == 0)
      self->page_lost_source_ = g_idle_add(OnPageLostIdle, self);
  });
}

gboolean WebKitBrowser::OnPageLostIdle(gpointer data) {
  auto* self = static_cast<WebKitBrowser*>(data);
  self->page_lost_source_ = 0;
  Guarded([&] {
    if (self->page_lost_) self->page_lost_();
  });
  return G_SOURCE_REMOVE;
}

void WebKitBrowser::SetTextSize(int percent) {
  // The view's zoom holds for every page it shows from now on.
  webkit_web_view_set_zoom_level(view_, percent / 100.0);
}

}  // namespace vellum
