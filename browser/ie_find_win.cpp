#include "browser/ie_find_win.h"

namespace vellum {
namespace {

// findText's count: how many characters to search; its sign the direction.
constexpr long kWholePage = 0x7FFFFFFF;

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
  const Bstr text(text_);
  if (!text) return false;
  VARIANT_BOOL found = VARIANT_FALSE;
  const HRESULT hr = range.findText(text.Get(), forward ? kWholePage : -kWholePage, 0, &found);
  return SUCCEEDED(hr) && found == VARIANT_TRUE;
}

void PageFinder::Show(ComPtr<IHTMLTxtRange> range) {
  range->select();
  range->scrollIntoView(VARIANT_TRUE);
  current_ = std::move(range);
}

int PageFinder::Start(const std::wstring& text) {
  Stop();
  text_ = text;
  if (text_.empty()) return 0;
  document_ = ShownDocument();
  ComPtr<IHTMLTxtRange> first = BodyRange();
  if (!first || !Find(*first.Get(), true)) return 0;
  // Counted on a range of its own, each match collapsed to its end before
  // the next is looked for.
  int count = 1;
  ComPtr<IHTMLTxtRange> walker;
  if (SUCCEEDED(first->duplicate(walker.Put())) && walker) {
    while (count < kMaxMatches && SUCCEEDED(walker->collapse(VARIANT_FALSE)) &&
           Find(*walker.Get(), true))
      ++count;
  }
  Show(std::move(first));
  return count;
}

bool PageFinder::Step(bool forward) {
  if (text_.empty()) return false;
  // Identity is compared through IUnknown, as COM defines it.
  if (!current_ || ShownDocument().Get() != document_.Get()) return Start(std::wstring(text_)) > 0;
  ComPtr<IHTMLTxtRange> next;
  if (FAILED(current_->duplicate(next.Put())) || !next) return false;
  // From the current match's end (or start, going back) on; then round the page.
  next->collapse(forward ? VARIANT_FALSE : VARIANT_TRUE);
  if (!Find(*next.Get(), forward)) {
    next = BodyRange();
    if (!next) return false;
    next->collapse(forward ? VARIANT_TRUE : VARIANT_FALSE);
    if (!Find(*next.Get(), forward)) return false;
  }
  Show(std::move(next));
  return true;
}

void PageFinder::Stop() {
  text_.clear();
  document_ = {};
  current_ = {};
}

}  // namespace vellum
