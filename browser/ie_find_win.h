// Finding text in the page the WebBrowser control shows, through the
// document's own text ranges (IHTMLTxtRange::findText): the first match from
// the top, the next and the previous one around the page, each selected and
// scrolled into view, and how many there are. The selection's place among
// the chapter/verse anchors (IeBrowser::Selection) is read here too.
#pragma once

#include <mshtml.h>

#include <cstdint>
#include <optional>
#include <string>

#include "browser/com_win.h"
#include "browser/ie_browser_win.h"
#include "core/text.h"

namespace vellum {

class PageFinder {
 public:
  static constexpr int kMaxMatches = static_cast<int>(kMostMatchesCounted);

  explicit PageFinder(IeBrowser& browser) : browser_(browser) {}

  // Counting stops after this long: five COM calls a match, on a long page,
  // would hold the window up ("120+ matches" then).
  static constexpr std::uint64_t kCountBudgetMs = 150;

  // Looks for text from the top of the page: the first match is selected.
  // The number of matches, 0 when none (or no page).
  MatchCount Start(const std::wstring& text);
  struct StepResult {
    bool found = false;
    // Counted again: the search started again from the top of a page shown
    // since.
    std::optional<MatchCount> count;
  };
  // The next (forward) or previous match after the current one, round the
  // page's end.
  StepResult Step(bool forward);
  // The matches of the search in the page shown now, counted without
  // selecting or scrolling; the next step starts from its top.
  MatchCount Recount();
  // Forgets the search.
  void Stop();

  // The reader's place, kept before a search first moves the page (a place
  // kept in the same document stands), put back when a search ends without
  // a match or the bar closes. A new document has no place kept: the viewer
  // placed it.
  void KeepPlace();
  void RestorePlace();
  void ForgetPlace();

 private:
  // The document shown, by its identity.
  ComPtr<IUnknown> ShownDocument() const;
  ComPtr<IHTMLTxtRange> BodyRange() const;
  bool Find(IHTMLTxtRange& range, bool forward) const;
  // The matches from first, a match, on.
  MatchCount CountFrom(IHTMLTxtRange& first) const;
  void Show(ComPtr<IHTMLTxtRange> range);
  struct ScrollPlace {
    long left = 0;
    long top = 0;
  };
  std::optional<ScrollPlace> PagePlace() const;

  IeBrowser& browser_;
  std::wstring text_;
  std::optional<Bstr> query_;  // text_, for the engine
  ComPtr<IUnknown> document_;  // the one searched
  ComPtr<IHTMLTxtRange> current_;
  std::optional<ScrollPlace> kept_place_;
  ComPtr<IUnknown> kept_in_;  // the document it was kept in
};

}  // namespace vellum
