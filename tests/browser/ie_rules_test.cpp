// Which keys reach the WebBrowser control, and the URLs it is asked to load.
#include "browser/ie_rules_win.h"

#include <gtest/gtest.h>

namespace vellum {
namespace {

constexpr KeyState kPlain{};
constexpr KeyState kCtrl{true, false, false};
constexpr KeyState kAlt{false, true, false};
constexpr KeyState kShift{false, false, true};
constexpr KeyState kCtrlShift{true, false, true};

TEST(RouteKey, OnlyKeysThatActInsideThePageReachTheControlsShortcuts) {
  const struct {
    const char* what;
    UINT message;
    WPARAM key;
    KeyState state;
    KeyRoute route;
  } cases[] = {
      // Inside the page: copy, select all, scrolling, Tab.
      {"Ctrl+C", WM_KEYDOWN, 'C', kCtrl, KeyRoute::kOffer},
      {"Ctrl+Insert", WM_KEYDOWN, VK_INSERT, kCtrl, KeyRoute::kOffer},
      {"Ctrl+A", WM_KEYDOWN, 'A', kCtrl, KeyRoute::kOffer},
      {"Tab", WM_KEYDOWN, VK_TAB, kPlain, KeyRoute::kOffer},
      {"Shift+Tab", WM_KEYDOWN, VK_TAB, kShift, KeyRoute::kOffer},
      {"Down", WM_KEYDOWN, VK_DOWN, kPlain, KeyRoute::kOffer},
      {"Page Down", WM_KEYDOWN, VK_NEXT, kPlain, KeyRoute::kOffer},
      {"Ctrl+End", WM_KEYDOWN, VK_END, kCtrl, KeyRoute::kOffer},
      {"Shift+Space", WM_KEYDOWN, VK_SPACE, kShift, KeyRoute::kOffer},
      {"Ctrl+Shift+Right (select)", WM_KEYDOWN, VK_RIGHT, kCtrlShift, KeyRoute::kOffer},
      // Typing reaches the page, never as a shortcut.
      {"a letter", WM_KEYDOWN, 'G', kPlain, KeyRoute::kDeliver},
      {"Enter on a link", WM_KEYDOWN, VK_RETURN, kPlain, KeyRoute::kDeliver},
      {"Ctrl alone", WM_KEYDOWN, VK_CONTROL, kCtrl, KeyRoute::kDeliver},
      {"Alt+F4 closes the viewer", WM_SYSKEYDOWN, VK_F4, kAlt, KeyRoute::kDeliver},
      // The control's own history, reloads, new windows, files, printing.
      {"Backspace", WM_KEYDOWN, VK_BACK, kPlain, KeyRoute::kSwallow},
      {"Alt+Left: our Back", WM_SYSKEYDOWN, VK_LEFT, kAlt, KeyRoute::kBack},
      {"Alt+Right: our Forward", WM_SYSKEYDOWN, VK_RIGHT, kAlt, KeyRoute::kForward},
      {"Alt+Shift+Left", WM_SYSKEYDOWN, VK_LEFT, {false, true, true}, KeyRoute::kSwallow},
      {"Alt+Home", WM_SYSKEYDOWN, VK_HOME, kAlt, KeyRoute::kSwallow},
      {"F5", WM_KEYDOWN, VK_F5, kPlain, KeyRoute::kSwallow},
      {"Ctrl+F5", WM_KEYDOWN, VK_F5, kCtrl, KeyRoute::kSwallow},
      {"Ctrl+R", WM_KEYDOWN, 'R', kCtrl, KeyRoute::kSwallow},
      {"Ctrl+N", WM_KEYDOWN, 'N', kCtrl, KeyRoute::kSwallow},
      {"Ctrl+O", WM_KEYDOWN, 'O', kCtrl, KeyRoute::kSwallow},
      {"Ctrl+P: our print", WM_KEYDOWN, 'P', kCtrl, KeyRoute::kPrint},
      {"Ctrl+Shift+P", WM_KEYDOWN, 'P', kCtrlShift, KeyRoute::kSwallow},
      {"Ctrl+Shift+C: our copy with reference", WM_KEYDOWN, 'C', kCtrlShift,
       KeyRoute::kCopyWithReference},
      {"Ctrl+L", WM_KEYDOWN, 'L', kCtrl, KeyRoute::kSwallow},
      // The text size is ours.
      {"Ctrl+plus", WM_KEYDOWN, VK_OEM_PLUS, kCtrl, KeyRoute::kLargerText},
      {"Ctrl+Shift+plus", WM_KEYDOWN, VK_OEM_PLUS, {true, false, true}, KeyRoute::kLargerText},
      {"Ctrl+keypad plus", WM_KEYDOWN, VK_ADD, kCtrl, KeyRoute::kLargerText},
      {"Ctrl+minus", WM_KEYDOWN, VK_OEM_MINUS, kCtrl, KeyRoute::kSmallerText},
      {"Ctrl+keypad minus", WM_KEYDOWN, VK_SUBTRACT, kCtrl, KeyRoute::kSmallerText},
      {"Ctrl+0", WM_KEYDOWN, '0', kCtrl, KeyRoute::kNormalSize},
      // Finding is ours: the control's own find dialog never opens.
      {"Ctrl+F", WM_KEYDOWN, 'F', kCtrl, KeyRoute::kFind},
      {"Ctrl+Shift+F", WM_KEYDOWN, 'F', kCtrlShift, KeyRoute::kSwallow},
      {"F3", WM_KEYDOWN, VK_F3, kPlain, KeyRoute::kFindNext},
      {"Shift+F3", WM_KEYDOWN, VK_F3, kShift, KeyRoute::kFindPrevious},
      {"Ctrl+F3", WM_KEYDOWN, VK_F3, kCtrl, KeyRoute::kSwallow},
      {"Alt+F3", WM_SYSKEYDOWN, VK_F3, kAlt, KeyRoute::kSwallow},
      {"Escape stops a load", WM_KEYDOWN, VK_ESCAPE, kPlain, KeyRoute::kSwallow},
      {"F10 alone", WM_SYSKEYDOWN, VK_F10, kPlain, KeyRoute::kSwallow},
      {"Browser Back key", WM_KEYDOWN, VK_BROWSER_BACK, kPlain, KeyRoute::kSwallow},
      {"Browser Refresh key", WM_KEYDOWN, VK_BROWSER_REFRESH, kPlain, KeyRoute::kSwallow},
      // The context-menu keys open our menu.
      {"Apps", WM_KEYDOWN, VK_APPS, kPlain, KeyRoute::kOpenMenu},
      {"Shift+F10", WM_SYSKEYDOWN, VK_F10, kShift, KeyRoute::kOpenMenu},
      // Releases and characters follow their press, which decided.
      {"Backspace released", WM_KEYUP, VK_BACK, kPlain, KeyRoute::kDeliver},
      // A browser key acts on its release too (DefWindowProc's WM_APPCOMMAND).
      {"Browser Back key released", WM_KEYUP, VK_BROWSER_BACK, kPlain, KeyRoute::kSwallow},
      {"Browser Home key released", WM_SYSKEYUP, VK_BROWSER_HOME, kAlt, KeyRoute::kSwallow},
      {"a character", WM_CHAR, 'g', kPlain, KeyRoute::kDeliver},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RouteKey(c.message, c.key, c.state), c.route) << c.what;
}

TEST(PageZoom, IsTheWindowsScaleAgainst96DpiTimesTheTextSize) {
  const struct {
    int dpi, text_size, zoom;
  } cases[] = {
      {96, 100, 100},  {120, 100, 125}, {144, 100, 150}, {192, 100, 200},  {168, 100, 175},
      {120, 110, 138}, {96, 300, 300},  {288, 300, 900}, {384, 300, 1000},  // the command's most
      {96, 5, 10},                                                          // and least
  };
  for (const auto& c : cases)
    EXPECT_EQ(PageZoomPercent(c.dpi, c.text_size), c.zoom) << c.dpi << " DPI, " << c.text_size;
}

TEST(WithThemeClass, MarksTheRootAndKeepsThePagesOwnClasses) {
  const struct {
    const wchar_t* classes;
    bool dark;
    const wchar_t* result;
  } cases[] = {
      {L"", true, L"vellum-dark"},
      {L"", false, L"vellum-light"},
      {L"vellum-light", true, L"vellum-dark"},
      {L"page  vellum-dark\tnarrow", false, L"page narrow vellum-light"},
      {L"vellum-darker", true, L"vellum-darker vellum-dark"},
      {L"vellum-dark vellum-dark", true, L"vellum-dark"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WithThemeClass(c.classes, c.dark), c.result) << c.classes;
}

TEST(IsBlankPageUrl, OnlyTheBlankDocument) {
  for (const auto& [url, blank] :
       std::vector<std::pair<std::wstring, bool>>{{L"about:blank", true},
                                                  {L"About:Blank", true},
                                                  {L"about:blank#x", false},
                                                  {L"about:blanks", false},
                                                  {L"file:///C:/library/web.htm/alpha.htm", false},
                                                  {L"", false}})
    EXPECT_EQ(IsBlankPageUrl(url), blank) << testing::PrintToString(url);
}

TEST(NavigationUrl, PathsBecomeFileUrlsWithTheirFragmentKept) {
  const struct {
    const wchar_t* target;
    const wchar_t* url;
  } cases[] = {
      {L"C:\\library\\web.htm\\index.htm#TOC", L"file:///C:/library/web.htm/index.htm#TOC"},
      {L"C:\\library\\web.htm\\alpha.htm", L"file:///C:/library/web.htm/alpha.htm"},
      {L"C:\\Program Files\\Vellum\\about\\about.htm",
       L"file:///C:/Program%20Files/Vellum/about/about.htm"},
      // A "#" in a folder name is part of the path, not a fragment.
      {L"C:\\C#\\web.htm\\index.htm#TOC", L"file:///C:/C%23/web.htm/index.htm#TOC"},
      {L"\\\\server\\c$\\Vellum\\web.htm\\index.htm", L"file://server/c$/Vellum/web.htm/index.htm"},
      // Characters outside any ANSI code page stay themselves.
      {L"C:\\\u0392\u03b9\u03b2\u03bb\u03af\u03b1\\index.htm#TOC",
       L"file:///C:/\u0392\u03b9\u03b2\u03bb\u03af\u03b1/index.htm#TOC"},
      // Already URLs.
      {L"about:blank", L"about:blank"},
      {L"file:///C:/library/index.htm#TOC", L"file:///C:/library/index.htm#TOC"},
      {L"res://ieframe.dll/blank.htm", L"res://ieframe.dll/blank.htm"},
  };
  for (const auto& c : cases) {
    const auto url = NavigationUrl(c.target);
    ASSERT_TRUE(url.has_value()) << testing::PrintToString(std::wstring(c.target));
    EXPECT_EQ(*url, c.url);
  }
}

}  // namespace
}  // namespace vellum
