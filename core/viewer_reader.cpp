// The viewer on its own: the Go to field, the place the reader was at, kept
// from one run to the next, and what a reader takes away (a copy with its
// reference, a print).
#include "core/viewer.h"

#include <algorithm>
#include <tuple>

#include "core/english_books.h"
#include "core/text.h"

namespace vellum {
namespace {

// "3:16", "3:16-18" or "3:16-4:2", as references are written.
std::string VerseSpan(int chapter, int verse, int last_chapter, int last_verse) {
  std::string text = std::to_string(chapter);
  text += ':';
  text += std::to_string(verse);
  if (last_chapter != chapter || last_verse != verse) text += '-';
  if (last_chapter != chapter) {
    text += std::to_string(last_chapter);
    text += ':';
  }
  if (last_chapter != chapter || last_verse != verse) text += std::to_string(last_verse);
  return text;
}

}  // namespace

GoToResult Viewer::OnGoToEntered(std::string_view typed) {
  if (closed_) return {};
  GoToResult result = PlaceReader(files_, ports_.rules).Read(typed);
  if (!result.location) return result;
  TbcvRec place = *result.location;
  NameFromBookList(place, false);
  result.location = place;
  // The reader moves on: an answer the host still owes is not waited for.
  awaiting_host_ = false;
  ForgetAnswer();
  target_location_ = place;
  GotoLocation(place);
  if (!closed_) ports_.browser.Focus();
  return result;
}

std::vector<std::string> Viewer::GoToBookNames() const {
  if (closed_) return {};
  return PlaceReader(files_, ports_.rules).BookNames();
}

std::optional<std::string> Viewer::GoToCompletion(std::string_view typed) const {
  if (closed_) return std::nullopt;
  return PlaceReader(files_, ports_.rules).CompleteInline(typed);
}

void Viewer::UseLibraryAt(std::size_t index) {
  const std::size_t told = files_.messages.size();
  UseLibrary(ports_.files, ports_.rules, files_, index);
  files_.book_files.Sort();
  for (std::size_t i = told; i < files_.messages.size(); ++i)
    ports_.controls.ShowMessage(files_.messages[i]);
  if (closed_) return;
  ports_.controls.SetCaption(Button::kIndex, IndexButtonCaption(files_.short_name));
  RefreshLibraries();
}

// A reader who starts the viewer alone comes back to the place left, in the
// library it was read in (unless the command line names one); the place is
// the first entry of the history. Beside a host, the host says where to be.
// A place in the program folder's library does not outweigh the reader's own
// libraries when the start would show one of those: a library imported since
// is what the reader wants to see, and the sample's places mean nothing there.
void Viewer::ResumeLastPlace(const StartOptions& options) {
  const std::optional<TbcvRec> saved = SavedPlace(files_.reader.place);
  if (!saved || closed_ || ports_.host.FindHostWindow()) return;
  if (options.library.empty() && !files_.reader.place_library.empty()) {
    const std::optional<std::size_t> library =
        FindLibraryNamed(files_.libraries, files_.reader.place_library, ports_.rules,
                         files_.reader.place_library_in_user);
    if (!library) return;
    if (library != files_.library) {
      if (!files_.libraries[*library].in_user_library) return;
      UseLibraryAt(*library);
    }
    if (closed_) return;
  }
  if (Code(*saved) == kIndexCode) {
    AddHistory(FreshIndexLocation());  // the start page is the Index already
    return;
  }
  TbcvRec place = *saved;
  NameFromBookList(place, false);
  target_location_ = place;
  AddHistory(place);
  if (closed_) return;
  Navigate({Navigation::Kind::kLocation, place, true});
}

std::optional<std::string> Viewer::PlaceToSave() const {
  // A run that showed nothing but its start page leaves the file as it was.
  if (!place_moved_ && files_.reader.place.empty()) return std::nullopt;
  std::string text;
  switch (shown_kind_) {
    case Navigation::Kind::kAboutPage:
      return std::nullopt;  // the program's own page is no place in the books
    case Navigation::Kind::kStartPage:
    case Navigation::Kind::kIndexPage:
      text = std::string(kIndexCode);
      break;
    case Navigation::Kind::kLocation:
      text = SavedPlaceText(shown_location_);
      break;
  }
  if (text.empty()) return std::nullopt;
  return text;
}

std::string Viewer::BookTitle(std::string_view code) const {
  for (const BookList* list : {&files_.book_titles, &files_.book_names}) {
    const std::string name = list->Lookup(code);
    if (!name.empty()) return DisplayTextToUtf8(name);
  }
  for (const EnglishBook& book : EnglishBooks()) {
    if (book.code == code) return std::string(book.name);
  }
  return std::string(code);
}

void Viewer::OnCopyWithReferenceChosen() {
  if (closed_) return;
  // Only a book's page has places in it.
  if (shown_kind_ != Navigation::Kind::kLocation || showing_missing_book_) {
    ports_.browser.Copy();
    return;
  }
  const std::optional<PageSelection> selection = ports_.browser.Selection();
  std::optional<AnchorEntry> first;
  std::optional<AnchorEntry> last;
  if (selection) {
    first = ParseAnchorName(selection->first_anchor, 0);
    last = ParseAnchorName(selection->last_anchor, 1);
  }
  if (first && !last) last = first;
  std::string reference = BookTitle(Code(shown_location_));
  reference += ' ';
  if (first) {
    if (std::tie(last->chapter, last->verse) < std::tie(first->chapter, first->verse))
      std::swap(first, last);
    reference += VerseSpan(first->chapter, first->verse, last->chapter, last->verse);
  } else {
    // A selection above the first verse, or none: the place shown.
    reference += VerseSpan(shown_location_.chapter, shown_location_.verse, shown_location_.chapter,
                           shown_location_.verse);
  }
  const std::string library =
      files_.library ? files_.libraries[*files_.library].label : files_.short_name;
  if (!library.empty()) {
    reference += ", ";
    reference += DisplayTextToUtf8(library);
  }
  std::string text = selection ? selection->text : std::string();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (!text.empty()) text += '\n';
  text += reference;
  ports_.controls.SetClipboardText(text);
}

void Viewer::OnPrintChosen() {
  if (closed_) return;
  ports_.browser.Print();
}

}  // namespace vellum
