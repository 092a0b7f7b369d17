// vellum-check for Windows: runs the page-side checks of the viewer's browser
// control on the machine at hand, against the library in its own program
// folder, without a host. One line per check, then "N passed, M failed".
// These are the paths Wine cannot show (it has no HTML engine): a person on a
// real Windows 10 or 11 machine runs this once after installing.
#include <ole2.h>
#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/ports_win.h"
#include "browser/ie_browser_win.h"
#include "browser/ie_events_win.h"
#include "browser/ie_find_win.h"
#include "core/catalogue.h"
#include "core/guarded.h"
#include "core/libraries.h"
#include "platform/platform.h"
#include "tools/check_bounds_win.h"
#include "vellum_version.h"

namespace vellum {
namespace {

constexpr RECT kPlace{0, 26, 640, 480};
constexpr std::uint64_t kPageLimitMs = 10'000;

const char* const kUsage =
    "usage: vellum-check [--bounds | --help | --version]\n"
    "Runs the page-side checks of the WebBrowser control against the library in the\n"
    "program folder (load a page, read its anchors, scroll, follow a cross-reference\n"
    "click, cancel a new window, copy, find, text size, the page's scale at the\n"
    "window's DPI, the zoom kept out of the user's settings, a dark page, a page made\n"
    "in memory) and prints one line per check,\n"
    "then\n"
    "\"N passed, M failed\". Exit code 0 when all passed, 1 otherwise, 2 on a wrong\n"
    "command line.\n"
    "\n"
    "  --bounds   instead, start and close vellum.exe (beside this program) twice and\n"
    "             check that the window opens where it was closed\n";

class Checks {
 public:
  void Report(bool ok, const char* name, const std::string& detail) {
    (ok ? passed_ : failed_) += 1;
    std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", name, detail.c_str());
    std::fflush(stdout);
  }
  int Finish() const {
    std::printf("%d passed, %d failed\n", passed_, failed_);
    return failed_ == 0 ? 0 : 1;
  }

 private:
  int passed_ = 0;
  int failed_ = 0;
};

std::wstring RegistryText(const wchar_t* value) {
  wchar_t text[128] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", value,
                   RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return {};
  return text;
}

// The engine's version as the system records it: svcVersion on IE 10 and
// later, Version before.
std::string EngineVersion() {
  std::wstring version = RegistryText(L"svcVersion");
  if (version.empty()) version = RegistryText(L"Version");
  return version.empty() ? "unknown" : WideToUtf8(version);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!OpenClipboard(owner)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT); data != nullptr) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data)); chars != nullptr) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

int TopLevelBrowserWindows() {
  int count = 0;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        wchar_t name[64] = {};
        if (GetClassNameW(window, name, 64) > 0 && lstrcmpW(name, L"IEFrame") == 0)
          ++*reinterpret_cast<int*>(data);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

class PageCheck {
 public:
  PageCheck()
      : browser_([this](std::string_view url) {
          urls_.emplace_back(url);
          // Cross-references go to the host and are never followed; nor are
          // the links of the viewer's own pages.
          return url.find("$BCV") != std::string_view::npos ||
                 url.substr(0, kLibraryLinkScheme.size()) == kLibraryLinkScheme;
        }) {}

  int Run() {
    std::printf("vellum-check: engine version %s\n", EngineVersion().c_str());
    if (!MakeWindow()) {
      checks_.Report(false, "window", "cannot create a window");
      return checks_.Finish();
    }
    const HRESULT created = browser_.Create(window_, kPlace);
    char detail[96];
    std::snprintf(detail, sizeof detail, "CoCreateInstance and in-place activation: 0x%08lx",
                  static_cast<unsigned long>(created));
    checks_.Report(SUCCEEDED(created), "control", detail);
    if (FAILED(created)) return checks_.Finish();
    CheckPlace();

    const StartupFiles files = ReadStartupFiles(fs_, rules_);
    const std::string page_file = files.book_files.Lookup("ALP");
    const std::string page = PagePath(fs_, files, page_file.empty() ? "index.htm" : page_file);
    if (!LoadPage(page)) {
      std::printf(
          "vellum-check: no HTML engine is present: the WebBrowser control exists but "
          "loads no page (Wine without Wine Gecko, or a system without MSHTML)\n");
      return checks_.Finish();
    }
    CheckAmbients();
    CheckAnchorsAndScroll();
    CheckCrossReference();
    CheckNewWindow();
    CheckCopy();
    CheckFind();
    CheckTextSize();
    CheckPageScale();
    CheckZoomKeptToItself();
    CheckDarkPage();
    CheckOwnPage();
    return checks_.Finish();
  }

  ~PageCheck() {
    browser_.Close();
    if (window_ != nullptr) DestroyWindow(window_);
  }

 private:
  bool MakeWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VellumCheck";
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    if (RegisterClassW(&wc) == 0) return false;
    window_ = CreateWindowExW(0, wc.lpszClassName, L"Vellum check",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 660,
                              540, nullptr, nullptr, wc.hInstance, nullptr);
    return window_ != nullptr;
  }

  void Pump(std::uint64_t ms) {
    const std::uint64_t start = pump_.NowMs();
    while (pump_.NowMs() - start < ms)
      pump_.ProcessMessages(PumpMode::kWait);
  }

  bool LoadPage(const std::string& path) {
    const std::uint64_t start = pump_.NowMs();
    bool ok = browser_.Navigate(path);
    while (ok && browser_.Status() == PageStatus::kLoading && pump_.NowMs() - start < kPageLimitMs)
      pump_.ProcessMessages(PumpMode::kWait);
    const PageStatus status = browser_.Status();
    ok = ok && status == PageStatus::kInteractive;
    const auto mode = browser_.DocumentMode();
    char detail[512];
    std::snprintf(detail, sizeof detail, "%s in %llu ms (%s), document mode %d", path.c_str(),
                  static_cast<unsigned long long>(pump_.NowMs() - start),
                  status == PageStatus::kInteractive ? "complete"
                  : status == PageStatus::kFailed    ? "NavigateError"
                                                     : "still loading",
                  mode.value_or(0));
    // The sample pages start with <!DOCTYPE html>: without one a page is in
    // quirks mode whatever the feature control asks (Internet Feature
    // Controls, Microsoft Learn), with one it must be in mode 11.
    checks_.Report(ok && mode == 11, "page load", detail);
    return ok;
  }

  void CheckPlace() {
    RECT place{};
    HWND control = browser_.ControlWindow();
    const bool found = control != nullptr && GetWindowRect(control, &place);
    if (found) MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&place), 2);
    char detail[96];
    std::snprintf(detail, sizeof detail, "control at top %ld (asked %ld)", place.top, kPlace.top);
    checks_.Report(found && place.top == kPlace.top, "control place", detail);
  }

  void CheckAmbients() {
    const unsigned asked = browser_.Site()->AmbientsAsked();
    std::string detail = "asked:";
    if (asked & BrowserSite::kAskedUserMode) detail += " user mode";
    if (asked & BrowserSite::kAskedDownloadControl) detail += " download control";
    if (asked & BrowserSite::kAskedSilent) detail += " silent";
    if (asked & BrowserSite::kAskedHostInfo) detail += " host info";
    checks_.Report((asked & BrowserSite::kAskedHostInfo) != 0, "site queries", detail);
  }

  void CheckAnchorsAndScroll() {
    const auto names = browser_.AnchorNames();
    const auto count = browser_.AnchorCount();
    const bool read = names.has_value() && count.has_value() &&
                      static_cast<int>(names->size()) == *count && *count > 0;
    char detail[128];
    std::snprintf(detail, sizeof detail, "%d anchors, first \"%s\"", count.value_or(-1),
                  read ? names->front().c_str() : "");
    checks_.Report(read, "anchors", detail);
    if (!read) return;
    const int last = *count - 1;
    const auto before = browser_.AnchorTop(last);
    const bool scrolled = browser_.ScrollIntoView(last);
    Pump(100);
    const auto after = browser_.AnchorTop(last);
    // At the top of the view, or as near as the end of the page allows.
    const bool ok = scrolled && before && after && (*after <= 2 || *after < *before);
    std::snprintf(detail, sizeof detail, "anchor %d from top %ld to %ld", last, before.value_or(-1),
                  after.value_or(-1));
    checks_.Report(ok, "scroll into view", detail);
  }

  // The first cross-reference link of the page, as an element.
  ComPtr<IHTMLElement> CrossReferenceLink(std::wstring* href) {
    ComPtr<IDispatch> document;
    if (FAILED(browser_.Control()->get_Document(document.Put())) || !document) return {};
    const auto html = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
    ComPtr<IHTMLElementCollection> links;
    long count = 0;
    if (!html || FAILED(html->get_links(links.Put())) || !links ||
        FAILED(links->get_length(&count)))
      return {};
    for (long i = 0; i < count; ++i) {
      const auto item = ItemAt(*links.Get(), i);
      const auto anchor = item.As<IHTMLAnchorElement>(IID_IHTMLAnchorElement);
      BSTR text = nullptr;
      if (!anchor || FAILED(anchor->get_href(&text)) || text == nullptr) continue;
      *href = std::wstring(text, SysStringLen(text));
      SysFreeString(text);
      if (href->find(L"$BCV") != std::wstring::npos) return item.As<IHTMLElement>(IID_IHTMLElement);
    }
    return {};
  }

  void CheckCrossReference() {
    std::wstring href;
    const auto link = CrossReferenceLink(&href);
    urls_.clear();
    const bool clicked = link && SUCCEEDED(link->click());
    Pump(300);
    bool seen = false;
    for (const std::string& url : urls_)
      seen = seen || url.find("$BCV") != std::string::npos;
    const bool stayed = browser_.AnchorCount().has_value();
    std::string detail = WideToUtf8(href) + (seen ? " reached BeforeNavigate2" : " not seen");
    detail += stayed ? ", page kept" : ", page replaced";
    checks_.Report(clicked && seen && stayed, "cross-reference click", detail);
  }

  void CheckNewWindow() {
    std::wstring href;
    if (!CrossReferenceLink(&href)) {
      checks_.Report(false, "new window", "no cross-reference link on the page");
      return;
    }
    const int windows_before = TopLevelBrowserWindows();
    const int events_before = browser_.NewWindowEvents();
    urls_.clear();
    // What a Shift-click on a link asks for: the same link in a new window.
    const Bstr url(href);
    VARIANT flags;
    VariantInit(&flags);
    V_VT(&flags) = VT_I4;
    V_I4(&flags) = navOpenInNewWindow;
    VARIANT none[3];
    for (VARIANT& v : none)
      VariantInit(&v);
    browser_.Control()->Navigate(url.Get(), &flags, &none[0], &none[1], &none[2]);
    Pump(500);
    const bool cancelled = browser_.NewWindowEvents() > events_before;
    const bool no_window = TopLevelBrowserWindows() == windows_before;
    bool sent = false;
    for (const std::string& seen : urls_)
      sent = sent || seen.find("$BCV") != std::string::npos;
    char detail[160];
    std::snprintf(detail, sizeof detail, "NewWindow3 %s, %s, link %s",
                  cancelled ? "seen and cancelled" : "not seen",
                  no_window ? "no window opened" : "A WINDOW OPENED",
                  sent ? "handed to the viewer" : "not handed on");
    checks_.Report(cancelled && no_window && sent, "new window", detail);
  }

  void CheckCopy() {
    browser_.Control()->ExecWB(OLECMDID_SELECTALL, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, nullptr);
    const auto selection = browser_.SelectionText();
    browser_.Copy();
    Pump(100);
    const std::wstring copied = ClipboardText(window_);
    const bool ok = selection && !selection->empty() && !copied.empty() &&
                    selection->substr(0, 16) == copied.substr(0, 16);
    char detail[96];
    std::snprintf(detail, sizeof detail, "%zu characters selected, %zu on the clipboard",
                  selection ? selection->size() : 0, copied.size());
    checks_.Report(ok, "copy", detail);
  }

  // A word of the page is found, stepped through both ways, and counted; a
  // word the page lacks is not.
  void CheckFind() {
    browser_.Control()->ExecWB(OLECMDID_SELECTALL, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, nullptr);
    const std::wstring text = browser_.SelectionText().value_or(L"");
    std::wstring word;
    for (const wchar_t c : text) {
      if (iswalpha(c)) {
        word += c;
      } else if (word.size() >= 4) {
        break;
      } else {
        word.clear();
      }
    }
    PageFinder finder(browser_);
    const unsigned count = word.empty() ? 0 : finder.Start(word).count;
    const bool stepped = count > 0 && finder.Step(true).found && finder.Step(false).found;
    const unsigned missing = finder.Start(L"qzxjvq").count;
    std::string detail = "\"";
    detail += WideToUtf8(word);
    detail += "\" ";
    detail += std::to_string(count);
    detail += stepped ? " matches, next and previous found" : " matches";
    detail += ", \"qzxjvq\" ";
    detail += std::to_string(missing);
    checks_.Report(stepped && missing == 0, "find", detail);
    // One letter on the page: counting gives up after its budget, so the
    // window answers again soon whatever the page (put a long library, the
    // Treasury of David, beside this program to see it count).
    const std::uint64_t start = pump_.NowMs();
    const MatchCount letters = finder.Start(L"e");
    const std::uint64_t took = pump_.NowMs() - start;
    finder.Stop();
    char timed[160];
    std::snprintf(timed, sizeof timed, "\"e\": %s in %llu ms (counting stops after %llu ms)",
                  MatchCountText(letters.count, letters.more).c_str(),
                  static_cast<unsigned long long>(took),
                  static_cast<unsigned long long>(PageFinder::kCountBudgetMs));
    checks_.Report(letters.count > 0 && took < PageFinder::kCountBudgetMs + 500, "find time",
                   timed);
  }

  // The page's width in CSS pixels at two text sizes: twice the size, about
  // half the width.
  std::optional<long> PageWidth() {
    Pump(200);
    ComPtr<IHTMLElement> body;
    const auto document = browser_.HtmlDocument();
    if (!document || FAILED(document->get_body(body.Put())) || !body) return std::nullopt;
    const auto element = body.As<IHTMLElement2>(IID_IHTMLElement2);
    long width = 0;
    if (!element || FAILED(element->get_clientWidth(&width))) return std::nullopt;
    return width;
  }

  // The page's root as the engine styles it: its class and background.
  std::pair<std::wstring, std::wstring> RootLook() {
    std::pair<std::wstring, std::wstring> look;
    const auto document = browser_.HtmlDocument();
    const auto document3 =
        document ? document.As<IHTMLDocument3>(IID_IHTMLDocument3) : ComPtr<IHTMLDocument3>();
    ComPtr<IHTMLElement> root;
    if (!document3 || FAILED(document3->get_documentElement(root.Put())) || !root) return look;
    BSTR classes = nullptr;
    if (SUCCEEDED(root->get_className(&classes)) && classes != nullptr) {
      look.first.assign(classes, SysStringLen(classes));
      SysFreeString(classes);
    }
    const auto root2 = root.As<IHTMLElement2>(IID_IHTMLElement2);
    ComPtr<IHTMLCurrentStyle> style;
    Variant colour;
    if (root2 && SUCCEEDED(root2->get_currentStyle(style.Put())) && style &&
        SUCCEEDED(style->get_backgroundColor(colour.Put())) && V_VT(&colour.Get()) == VT_BSTR &&
        V_BSTR(&colour.Get()) != nullptr)
      look.second.assign(V_BSTR(&colour.Get()), SysStringLen(V_BSTR(&colour.Get())));
    return look;
  }

  // The sample page marked dark takes its dark colours, and light again.
  void CheckDarkPage() {
    browser_.SetDark(true);
    Pump(100);
    const auto dark = RootLook();
    browser_.SetDark(false);
    Pump(100);
    const auto light = RootLook();
    const bool ok =
        dark.first.find(L"vellum-dark") != std::wstring::npos && dark.second == L"#1c1b19" &&
        light.first.find(L"vellum-light") != std::wstring::npos && light.second != L"#1c1b19";
    std::string detail = "dark: class \"";
    detail += WideToUtf8(dark.first);
    detail += "\", background ";
    detail += WideToUtf8(dark.second);
    detail += "; light: class \"";
    detail += WideToUtf8(light.first);
    detail += "\", background ";
    detail += WideToUtf8(light.second);
    checks_.Report(ok, "dark page", detail);
  }

  void CheckTextSize() {
    browser_.SetTextSize(100);
    const auto normal = PageWidth();
    browser_.SetTextSize(200);
    const auto larger = PageWidth();
    browser_.SetTextSize(100);
    char detail[128];
    std::snprintf(detail, sizeof detail, "page %ld px wide at 100 %%, %ld px at 200 %%",
                  normal.value_or(-1), larger.value_or(-1));
    checks_.Report(normal && larger && *normal > 0 && *larger * 10 < *normal * 6, "text size",
                   detail);
  }

  // At text size 100 the page fills the control at the window's own scale:
  // its CSS width times DPI/96 is the control's width, less the scroll bar.
  // Seen only above 100 % scaling; at 100 % any zoom of 100 passes.
  void CheckPageScale() {
    const int dpi = WindowDpi(window_);
    browser_.SetWindowDpi(dpi);
    browser_.SetTextSize(100);
    const auto css = ViewportWidth();
    const long control = kPlace.right - kPlace.left;
    const long shown = css ? MulDiv(*css, dpi, 96) : -1;
    char detail[160];
    std::snprintf(detail, sizeof detail,
                  "at %d DPI the page is %ld CSS px wide, %ld px on screen, in a control %ld px "
                  "wide",
                  dpi, css.value_or(-1), shown, control);
    // The scroll bar takes some 17 px at 100 %, more when scaled.
    checks_.Report(css && shown <= control && shown * 100 >= control * 90, "page scale", detail);
  }

  // The root element's width in CSS pixels: the view less its scroll bar.
  std::optional<long> ViewportWidth() {
    Pump(200);
    const auto document = browser_.HtmlDocument();
    const auto document3 =
        document ? document.As<IHTMLDocument3>(IID_IHTMLDocument3) : ComPtr<IHTMLDocument3>();
    ComPtr<IHTMLElement> root;
    if (!document3 || FAILED(document3->get_documentElement(root.Put())) || !root)
      return std::nullopt;
    const auto element = root.As<IHTMLElement2>(IID_IHTMLElement2);
    long width = 0;
    if (!element || FAILED(element->get_clientWidth(&width))) return std::nullopt;
    return width;
  }

  // The zoom the viewer sets stays its own: the user's zoom setting, which
  // every program that hosts the control reads, is as it was.
  void CheckZoomKeptToItself() {
    const std::string before = ZoomSettings();
    browser_.SetTextSize(170);
    Pump(200);
    browser_.SetTextSize(100);
    Pump(200);
    const std::string after = ZoomSettings();
    checks_.Report(before == after, "zoom kept to itself",
                   "HKCU\\Software\\Microsoft\\Internet Explorer\\Zoom " +
                       (before == after ? "unchanged: " + before : before + " became " + after));
  }

  // The values under the user's zoom key, as "name=bytes" in hexadecimal.
  static std::string ZoomSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Zoom", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
      return "(no key)";
    std::string values;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD name_length = 256;
      BYTE data[256];
      DWORD size = sizeof data;
      if (RegEnumValueW(key, i, name, &name_length, nullptr, nullptr, data, &size) != ERROR_SUCCESS)
        break;
      values += WideToUtf8(std::wstring_view(name, name_length)) + "=";
      for (DWORD b = 0; b < size; ++b) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", data[b]);
        values += hex;
      }
      values += " ";
    }
    RegCloseKey(key);
    return values.empty() ? "(no values)" : values;
  }

  // A page the viewer makes in memory: shown, its text there, its link handed
  // to the viewer and not followed.
  void CheckOwnPage() {
    const std::uint64_t start = pump_.NowMs();
    bool ok = browser_.ShowHtml(
        "<!DOCTYPE html><html lang=\"en\"><body><p>Made in memory \xE2\x80\x94 ok.</p>"
        "<a href=\"vellum-library:p7765622e68746d\">web</a></body></html>");
    while (ok && browser_.Status() == PageStatus::kLoading && pump_.NowMs() - start < kPageLimitMs)
      pump_.ProcessMessages(PumpMode::kWait);
    ok = ok && browser_.Status() == PageStatus::kInteractive;
    const std::uint64_t took = pump_.NowMs() - start;
    const auto body_text = [this]() {
      std::wstring text;
      ComPtr<IHTMLElement> body;
      const auto shown = browser_.HtmlDocument();
      BSTR inner = nullptr;
      if (shown && SUCCEEDED(shown->get_body(body.Put())) && body &&
          SUCCEEDED(body->get_innerText(&inner)) && inner != nullptr) {
        text.assign(inner, SysStringLen(inner));
        SysFreeString(inner);
      }
      return text;
    };
    const std::wstring text = ok ? body_text() : std::wstring();
    const auto document = browser_.HtmlDocument();
    const bool read = text.find(L"Made in memory \u2014 ok.") != std::wstring::npos;
    ComPtr<IHTMLElementCollection> links;
    long count = 0;
    urls_.clear();
    if (document && SUCCEEDED(document->get_links(links.Put())) && links &&
        SUCCEEDED(links->get_length(&count)) && count > 0) {
      if (const auto link = ItemAt(*links.Get(), 0).As<IHTMLElement>(IID_IHTMLElement))
        link->click();
      Pump(300);
    }
    bool handed = false;
    for (const std::string& url : urls_)
      handed = handed || url.find("vellum-library:") == 0;
    const bool stayed = body_text() == text;
    char detail[160];
    std::snprintf(detail, sizeof detail, "%s in %llu ms, text %s, link %s",
                  ok ? "shown" : "NOT SHOWN", static_cast<unsigned long long>(took),
                  read ? "read as written" : "NOT READ",
                  handed ? "handed to the viewer" : "not seen");
    checks_.Report(ok && read && handed && stayed, "own page", detail);
  }

  SystemFileSystem fs_;
  LocaleTextRules rules_;
  Win32Pump pump_;
  Checks checks_;
  HWND window_ = nullptr;
  std::vector<std::string> urls_;
  IeBrowser browser_;
};

}  // namespace
}  // namespace vellum

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string arg = argv[1];
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      std::fputs(vellum::kUsage, stdout);
      return 0;
    }
    if (argc == 2 && arg == "--version") {
      std::printf("vellum-check %s\n", vellum::kVersion);
      return 0;
    }
    if (argc == 2 && arg == "--bounds") {
      int code = 1;
      vellum::Guarded([&] { code = vellum::CheckBounds(); });
      return code;
    }
    // Each option stands alone: what follows one is as wrong as an unknown one.
    const bool known = arg == "--help" || arg == "-h" || arg == "--version" || arg == "--bounds";
    std::fprintf(stderr, "vellum-check: unexpected argument %s\n%s", argv[known ? 2 : 1],
                 vellum::kUsage);
    return 2;
  }
  if (FAILED(OleInitialize(nullptr))) {
    std::printf("vellum-check: OLE cannot be initialised\n0 passed, 1 failed\n");
    return 1;
  }
  int code = 1;
  vellum::Guarded([&] {
    vellum::PageCheck check;
    code = check.Run();
  });
  OleUninitialize();
  return code;
}
