#include "browser/ie_find_win.h"

#include <algorithm>
#include <string_view>

#include "platform/wide_text_win.h"

namespace vellum {
namespace {

// findText's count: how many characters to search, its sign the direction.
// The interface's own default: the largest long could overflow where the
// engine adds it to a position.
constexpr long kWholePage = 1073741823;

// Whether range starts at or after mark: a search that went nowhere (or
// back) must not be counted again.
bool StartsAtOrAfter(IHTMLTxtRange& range, IHTMLTxtRange* mark) {
  static const Bstr kHow(L"StartToStart");
  long order = -1;
  return kHow && SUCCEEDED(range.compareEndPoints(kHow.Get(), mark, &order)) && order >= 0;
}

}  // namespace

ComPtr<IUnknown> PageFinder::ShownDocument() const {
  const ComPtr<IHTMLDocument2> document = browser_.HtmlDocument();
  return document ? document.As<IUnknown>(IID_IUnknown) : ComPtr<IUnknown>();
}

ComPtr<IHTMLTxtRange> PageFinder::BodyRange() const {
  const ComPtr<IHTMLDocument2> document = browser_.HtmlDocument();
  ComPtr<IHTMLElement> body;
  if (!document || FAILED(document->get_body(body.Put())) || !body) return {};
  const auto body_element = body.As<IHTMLBodyElement>(IID_IHTMLBodyElement);
  ComPtr<IHTMLTxtRange> range;
  if (!body_element || FAILED(body_element->createTextRange(range.Put()))) return {};
  return range;
}

bool PageFinder::Find(IHTMLTxtRange& range, bool forward) const {
  if (!query_ || !*query_) return false;
  VARIANT_BOOL found = VARIANT_FALSE;
  const HRESULT hr = range.findText(query_->Get(), forward ? kWholePage : -kWholePage, 0, &found);
  return SUCCEEDED(hr) && found == VARIANT_TRUE;
}

void PageFinder::Show(ComPtr<IHTMLTxtRange> range) {
  range->select();
  range->scrollIntoView(VARIANT_TRUE);
  current_ = std::move(range);
}

MatchCount PageFinder::Start(const std::wstring& text) {
  Stop();
  text_ = text;
  if (text_.empty()) return {};
  query_.emplace(text_);
  document_ = ShownDocument();
  ComPtr<IHTMLTxtRange> first = BodyRange();
  if (!first || !Find(*first.Get(), true)) return {};
  const MatchCount count = CountFrom(*first.Get());
  Show(std::move(first));
  return count;
}

MatchCount PageFinder::Recount() {
  if (text_.empty()) return {};
  document_ = ShownDocument();
  current_ = {};  // the next step starts from the top
  ComPtr<IHTMLTxtRange> first = BodyRange();
  if (!first || !Find(*first.Get(), true)) return {};
  return CountFrom(*first.Get());
}

MatchCount PageFinder::CountFrom(IHTMLTxtRange& first) const {
  // Counted on a range of its own, each match collapsed to its end before
  // the next is looked for, and counted only where it lies past that end.
  ComPtr<IHTMLTxtRange> walker;
  if (FAILED(first.duplicate(walker.Put())) || !walker) return {1, false};
  return CountMatches(
      [&]() -> bool {
        ComPtr<IHTMLTxtRange> mark;
        return SUCCEEDED(walker->collapse(VARIANT_FALSE)) &&
               SUCCEEDED(walker->duplicate(mark.Put())) && mark && Find(*walker.Get(), true) &&
               StartsAtOrAfter(*walker.Get(), mark.Get());
      },
      [] { return static_cast<std::uint64_t>(GetTickCount64()); }, kCountBudgetMs,
      static_cast<unsigned>(kMaxMatches));
}

PageFinder::StepResult PageFinder::Step(bool forward) {
  if (text_.empty()) return {};
  // Identity is compared through IUnknown, as COM defines it.
  if (!current_ || ShownDocument().Get() != document_.Get()) {
    const MatchCount count = Start(std::wstring(text_));
    return {count.count > 0, count};
  }
  ComPtr<IHTMLTxtRange> next;
  if (FAILED(current_->duplicate(next.Put())) || !next) return {};
  // From the current match's end (or start, going back) on; then round the page.
  next->collapse(forward ? VARIANT_FALSE : VARIANT_TRUE);
  if (!Find(*next.Get(), forward)) {
    next = BodyRange();
    if (!next) return {};
    next->collapse(forward ? VARIANT_TRUE : VARIANT_FALSE);
    if (!Find(*next.Get(), forward)) return {};
  }
  Show(std::move(next));
  return {true, std::nullopt};
}

std::optional<PageFinder::ScrollPlace> PageFinder::PagePlace() const {
  // The page scrolls by its root element in standards mode and by its body
  // in quirks mode; the other one reads 0.
  const ComPtr<IHTMLDocument2> document = browser_.HtmlDocument();
  if (!document) return std::nullopt;
  std::optional<ScrollPlace> place;
  const auto read = [&place](const ComPtr<IHTMLElement>& element) {
    const auto scrolled =
        element ? element.As<IHTMLElement2>(IID_IHTMLElement2) : ComPtr<IHTMLElement2>();
    long left = 0;
    long top = 0;
    if (!scrolled || FAILED(scrolled->get_scrollLeft(&left)) ||
        FAILED(scrolled->get_scrollTop(&top)))
      return;
    if (!place) place.emplace();
    place->left = std::max(place->left, left);
    place->top = std::max(place->top, top);
  };
  ComPtr<IHTMLElement> body;
  if (SUCCEEDED(document->get_body(body.Put()))) read(body);
  if (const auto document3 = document.As<IHTMLDocument3>(IID_IHTMLDocument3)) {
    ComPtr<IHTMLElement> root;
    if (SUCCEEDED(document3->get_documentElement(root.Put()))) read(root);
  }
  return place;
}

void PageFinder::KeepPlace() {
  ComPtr<IUnknown> shown = ShownDocument();
  if (kept_place_ && shown.Get() == kept_in_.Get()) return;
  kept_place_ = PagePlace();
  kept_in_ = kept_place_ ? std::move(shown) : ComPtr<IUnknown>();
}

void PageFinder::RestorePlace() {
  if (!kept_place_ || ShownDocument().Get() != kept_in_.Get()) return;
  const ComPtr<IHTMLDocument2> document = browser_.HtmlDocument();
  ComPtr<IHTMLWindow2> window;
  if (document && SUCCEEDED(document->get_parentWindow(window.Put())) && window)
    window->scrollTo(kept_place_->left, kept_place_->top);
}

void PageFinder::ForgetPlace() {
  kept_place_.reset();
  kept_in_ = {};
}

void PageFinder::Stop() {
  text_.clear();
  query_.reset();
  document_ = {};
  current_ = {};
}

namespace {

bool IsVerseAnchorName(std::wstring_view name) {
  if (name.size() < 8 || name[0] != L'C' || name[1] != L'V') return false;
  return std::all_of(name.begin() + 2, name.begin() + 8,
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

std::wstring AnchorName(IHTMLElementCollection& anchors, long index) {
  const auto anchor = ItemAt(anchors, index).As<IHTMLAnchorElement>(IID_IHTMLAnchorElement);
  BSTR name = nullptr;
  std::wstring result;
  if (anchor && SUCCEEDED(anchor->get_name(&name)) && name != nullptr)
    result.assign(name, SysStringLen(name));
  SysFreeString(name);
  return result;
}

// Whether anchor `index` stands at or before the selection's start (how
// "StartToStart") or end ("StartToEnd"): a collapsed range at the anchor,
// compared with the selection's end point.
bool AnchorAtOrBefore(IHTMLElementCollection& anchors, long index, IHTMLTxtRange& body,
                      IHTMLTxtRange& selection, const Bstr& how) {
  const auto element = ItemAt(anchors, index).As<IHTMLElement>(IID_IHTMLElement);
  ComPtr<IHTMLTxtRange> probe;
  if (!element || FAILED(body.duplicate(probe.Put())) || !probe ||
      FAILED(probe->moveToElementText(element.Get())))
    return false;
  long order = 1;
  return SUCCEEDED(probe->compareEndPoints(how.Get(), &selection, &order)) && order <= 0;
}

// The last chapter/verse anchor at or before an end point of the selection;
// the anchors are in document order, so the first one past it is halved to.
std::string VerseAnchorBefore(IHTMLElementCollection& anchors, long count, IHTMLTxtRange& body,
                              IHTMLTxtRange& selection, const Bstr& how) {
  long low = 0;  // anchors before low are at or before the point
  long high = count;
  while (low < high) {
    const long middle = low + (high - low) / 2;
    if (AnchorAtOrBefore(anchors, middle, body, selection, how)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  for (long i = low - 1; i >= 0; --i) {
    const std::wstring name = AnchorName(anchors, i);
    if (IsVerseAnchorName(name)) return WideToUtf8(name);
  }
  return {};
}

}  // namespace

std::optional<PageSelection> IeBrowser::Selection() {
  const ComPtr<IHTMLTxtRange> range = SelectedRange();
  const std::optional<std::wstring> text = SelectionText();
  if (!range || !text || text->empty()) return std::nullopt;
  PageSelection selection;
  selection.text = WideToUtf8(*text);
  const ComPtr<IHTMLDocument2> document = HtmlDocument();
  // Lines come apart with CR LF; the clipboard puts them back.
  std::erase(selection.text, '\r');
  ComPtr<IHTMLElement> body;
  const auto anchors = Anchors();
  long count = 0;
  if (!document || FAILED(document->get_body(body.Put())) || !body || !anchors ||
      FAILED(anchors->get_length(&count)) || count <= 0)
    return selection;
  const auto body_element = body.As<IHTMLBodyElement>(IID_IHTMLBodyElement);
  ComPtr<IHTMLTxtRange> body_range;
  if (!body_element || FAILED(body_element->createTextRange(body_range.Put())) || !body_range)
    return selection;
  static const Bstr kStart(L"StartToStart");
  static const Bstr kEnd(L"StartToEnd");
  selection.first_anchor =
      VerseAnchorBefore(*anchors.Get(), count, *body_range.Get(), *range.Get(), kStart);
  selection.last_anchor =
      VerseAnchorBefore(*anchors.Get(), count, *body_range.Get(), *range.Get(), kEnd);
  return selection;
}

}  // namespace vellum
