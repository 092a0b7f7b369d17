// The conversation with the host: its messages, debounced; requests for the
// cross-reference links and the location button; the pending jump.
#include "core/viewer.h"

#include "core/english_books.h"
#include "core/scoped_value.h"

#include <string>
#include <vector>

namespace vellum {

void Viewer::ReceiveHostMessage(std::uint32_t code, const void* data, std::size_t size) {
  if (closed_) return;
  host_message_code_ = code;
  // The sender's buffer is valid only during this call; it may be short.
  host_message_location_ = DecodeLocation(data, size);
  host_message_from_sync_ = false;
  RestartTimer(TimerId::kTimer3);
  // An answer, or the host going on by itself: either way it is there.
  if (code == kHostShowLocation) ForgetAnswer();
}

void Viewer::ReceiveSyncLocation(const TbcvRec& location) {
  if (closed_ || sync_reach_ == SyncReach::kOff) return;
  // The host's own command waiting out its quiet time goes first, whatever
  // the other programs say meanwhile: neither replaced (a close or a
  // minimise lost, a place never shown) nor put off by their next place.
  if (host_message_code_ != 0 && !host_message_from_sync_) return;
  host_message_code_ = kHostShowLocation;
  host_message_location_ = location;
  host_message_from_sync_ = true;
  RestartTimer(TimerId::kTimer3);
}

void Viewer::NameFromBookList(TbcvRec& location, bool keep_own_name) const {
  const std::string name = files_.book_names.Lookup(Code(location));
  if (!name.empty() || !keep_own_name) SetName(location, name);
}

std::string Viewer::CaptionOf(const TbcvRec& location) const {
  const std::string listed = files_.book_names.Lookup(Code(location));
  if (!listed.empty()) {
    TbcvRec named = EmptyLocation();
    SetName(named, listed);
    // Only a name that came from the list is shown longer than it is held.
    if (Name(named) == Name(location))
      return FirstCharacters(listed, kNameCapacity) +
             LocationCaption(location).substr(Name(location).size());
  }
  // A book of the Bible neither the library nor the host names is still
  // named, in English, rather than shown as a bare " 23:1".
  if (Name(location).empty()) {
    const std::string english = EnglishShortName(Code(location));
    if (!english.empty()) return english + LocationCaption(location);
  }
  return LocationCaption(location);
}

void Viewer::OfferPendingJump(const TbcvRec& location) {
  ports_.controls.SetVisible(Button::kPendingJump, true);
  ports_.controls.SetCaption(Button::kPendingJump, CaptionOf(location));
  pending_location_ = location;
}

void Viewer::ForgetAnswer() {
  answer_owed_ = false;
  StopTimer(TimerId::kTimerHostAnswer);
  ShowNoAnswer(false);
}

void Viewer::ShowNoAnswer(bool on) {
  if (on == notice_shown_) return;
  notice_shown_ = on;
  ports_.controls.SetNotice(on ? "The host did not answer" : "");
}

void Viewer::HandleHostCommand() {
  const std::uint32_t code = host_message_code_;
  const bool from_sync = host_message_from_sync_;
  host_message_code_ = 0;
  host_message_from_sync_ = false;
  switch (code) {
    case kHostShowLocation:
      target_location_ = host_message_location_;
      NameFromBookList(target_location_, from_sync);
      if (awaiting_host_) {
        OfferPendingJump(target_location_);
      } else if (nav_busy_ && host_navigating_) {
        renavigate_pending_ = true;
      } else if (nav_busy_ || loading_depth_ > 0) {
        // Something else is loading (a history step, the pending jump, the
        // location button, the Index, About or start page): the host's place
        // is shown as soon as that ends, the newest one winning, so the
        // viewer never stays out of step with its host.
        deferred_ = Navigation{Navigation::Kind::kLocation, target_location_, false};
      } else {
        const ScopedValue<bool> host_navigation(host_navigating_, true);
        GotoLocation(target_location_);
        if (renavigate_pending_) GotoLocation(target_location_);
        renavigate_pending_ = false;
      }
      break;
    case kHostClose:
      CloseWindow();
      break;
    case kHostMinimize:
      MinimizeApplication();
      break;
    default:
      break;
  }
}

bool Viewer::SendToHost(std::string_view text) {
  if (text.size() <= 3) return true;  // nothing to ask for, nowhere to go
  const std::string_view request = text.substr(3);
  if (ports_.host.FindHostWindow()) {
    // Set before sending: a host that answers at once finds it set.
    awaiting_host_ = true;
    ShowNoAnswer(false);
    // Owed from now: an answer that comes while the request is sent pays it.
    answer_owed_ = true;
    RestartTimer(TimerId::kTimerHostAnswer);
    ports_.host.SendRequest(request);
    return true;
  }
  // Without a host window the other Bible programs hear of it. None of them
  // answers a navigation, so the place is offered at once, as the host's
  // answer would be; nothing is awaited, and their next navigation is shown
  // as any other, with the offer still standing.
  if (ports_.sync == nullptr || sync_reach_ == SyncReach::kOff) return false;
  const std::optional<TbcvRec> sent = ports_.sync->SendRequest(request);
  if (!sent) return true;
  target_location_ = *sent;
  NameFromBookList(target_location_, true);
  OfferPendingJump(target_location_);
  return true;
}

void Viewer::GoAlone(std::string_view request) {
  std::optional<TbcvRec> place = PlaceOfRequest(request, files_, ports_.rules);
  if (!place) return;
  NameFromBookList(*place, false);
  awaiting_host_ = false;
  // Never inside the browser's own event: the page's navigation is still
  // being decided.
  place_wanted_ = place;
  RestartTimer(TimerId::kTimerLinkAction);
}

namespace {

// A path or URL in a form that compares alike however it was written:
// percent escapes decoded, "\\" read as "/", ASCII letters in lower case.
// ends[i] is where the i-th character's source ends in the original text.
struct Comparable {
  std::string text;
  std::vector<std::size_t> ends;
};

Comparable MakeComparable(std::string_view source) {
  Comparable result;
  for (std::size_t i = 0; i < source.size(); ++i) {
    char c = source[i];
    if (c == '%' && i + 2 < source.size() && HexDigit(source[i + 1]) >= 0 &&
        HexDigit(source[i + 2]) >= 0) {
      c = static_cast<char>(HexDigit(source[i + 1]) * 16 + HexDigit(source[i + 2]));
      i += 2;
    }
    if (c == '\\') c = '/';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    result.text.push_back(c);
    result.ends.push_back(i + 1);
  }
  return result;
}

}  // namespace

std::string_view LinkText(std::string_view url, std::string_view page_folder) {
  // A "$" in the folder the pages stand in (an administrative share such as
  // \\server\c$, a folder named with "$") is not a link's: look only past it.
  std::size_t from = 0;
  if (!page_folder.empty()) {
    const Comparable folder = MakeComparable(page_folder);
    const Comparable address = MakeComparable(url);
    const std::size_t at = address.text.find(folder.text);
    // Only a folder named before the link's own text moves the search: one
    // named after a link's first "$" is part of that link.
    const std::size_t folder_start = at == 0 || at == std::string::npos ? 0 : address.ends[at - 1];
    if (!folder.text.empty() && at != std::string::npos && folder_start <= url.find('$'))
      from = address.ends[at + folder.text.size() - 1];
  }
  const std::size_t dollar = url.find('$', from);
  return dollar == std::string_view::npos ? url : url.substr(dollar + 1);
}

bool Viewer::OnBeforeNavigate(std::string_view url) {
  // Our own page's links to other libraries are ours alone, and only that
  // page's: taken after the page's event, never followed by the browser.
  if (url.substr(0, kLibraryLinkScheme.size()) == kLibraryLinkScheme) {
    if (!closed_ && page_ready_ && showing_missing_book_) {
      library_wanted_ = LibraryOfLink(files_.libraries, url, ports_.rules);
      if (library_wanted_) RestartTimer(TimerId::kTimerLinkAction);
    }
    return true;
  }
  if (closed_ || !page_ready_) return false;
  const std::string_view link = LinkText(url, PageFolder(files_));
  if (link.substr(0, 3) != "BCV") return false;
  if (!SendToHost(link)) GoAlone(link.substr(3));
  return true;
}

void Viewer::OnPendingJumpClicked() {
  if (closed_) return;
  awaiting_host_ = false;
  ForgetAnswer();
  GotoLocation(pending_location_);
  ports_.pump.ProcessMessages(PumpMode::kPending);
  if (closed_) return;
  ports_.controls.SetVisible(Button::kPendingJump, false);
  ports_.browser.Focus();
}

void Viewer::OnLocationClicked() {
  if (closed_) return;
  if (IsSpecialCode(Code(shown_location_))) {
    AddHistory(FreshAboutLocation());
    ShowAboutPage();
    return;
  }
  if (shown_location_.chapter != 0) SendToHost(LocationRequestText(shown_location_));
  awaiting_host_ = false;
  GotoLocation(shown_location_);
  if (closed_) return;
  ports_.controls.SetVisible(Button::kPendingJump, false);
}

}  // namespace vellum
