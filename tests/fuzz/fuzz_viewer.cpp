// The viewer's link handling played out on the test fakes: a started viewer
// gets arbitrary URLs from its browser, arbitrary host messages (any code,
// any length, answers that arrive while a request is being sent) and timer
// ticks, interleaved with the buttons that take or drop a pending jump, in
// an order the input decides. After every event: a link is cancelled exactly
// when it is a cross-reference link on a ready page, and the host receives
// exactly its text after "BCV"; no navigation is left running and no update
// lock held; the buttons show the shown and the pending location; and once
// the viewer has closed nothing moves any more.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/english_books.h"
#include "core/libraries.h"
#include "tests/core/viewer_harness.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace vellum;
using vellum::testing::Harness;

// The host's bytes in a buffer of exactly their size, so that a read past
// them is caught.
void Deliver(Harness& h, std::uint32_t code, const std::string& bytes, bool null_data) {
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[bytes.size()]);
  std::memcpy(buffer.get(), bytes.data(), bytes.size());
  h.viewer.ReceiveHostMessage(code, null_data ? nullptr : buffer.get(),
                              null_data ? 0 : bytes.size());
}

std::uint32_t HostCode(vellum::fuzz::ByteReader& input) {
  switch (input.Byte() % 8) {
    case 0:
    case 1:
    case 2:
      return kHostShowLocation;
    case 3:
      return kHostClose;
    case 4:
      return kHostMinimize;
    case 5:
      return 0;
    case 6:
      return kHostRequest;
    default:
      return input.U32();
  }
}

// A path or URL folded as the page folder is looked for in it: "%XX"
// decoded, "\\" read as "/", ASCII letters in lower case; each character
// remembers where its source begins and ends in the original.
struct Folded {
  std::string text;
  std::vector<std::size_t> begins;
  std::vector<std::size_t> ends;
};

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Folded Fold(std::string_view source) {
  Folded folded;
  for (std::size_t i = 0; i < source.size();) {
    const std::size_t begin = i;
    char c = source[i++];
    if (c == '%' && i + 1 < source.size() && Hex(source[i]) >= 0 && Hex(source[i + 1]) >= 0) {
      c = static_cast<char>(Hex(source[i]) * 16 + Hex(source[i + 1]));
      i += 2;
    }
    if (c == '\\') c = '/';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    folded.text.push_back(c);
    folded.begins.push_back(begin);
    folded.ends.push_back(i);
  }
  return folded;
}

// A link's text: what follows its first "$"; a "$" of the folder the pages
// stand in is not a link's, so when the URL names that folder before its
// first "$", the "$" is looked for past the folder.
std::string ExpectedLinkText(const std::string& url, const std::string& page_folder) {
  const std::size_t first = url.find('$');
  if (first == std::string::npos) return url;
  const Folded folder = Fold(page_folder);
  const Folded address = Fold(url);
  const std::size_t at = folder.text.empty() ? std::string::npos : address.text.find(folder.text);
  if (at == std::string::npos || address.begins[at] > first) return url.substr(first + 1);
  const std::size_t dollar = url.find('$', address.ends[at + folder.text.size() - 1]);
  return dollar == std::string::npos ? url : url.substr(dollar + 1);
}

void LinkClicked(Harness& h, const std::string& url) {
  const bool expected_ready = h.viewer.PageReady() && !h.viewer.Closed();
  const std::size_t requests = h.host.requests.size();
  const bool awaiting = h.viewer.AwaitingHost();
  const bool host_there = h.host.exists;

  const bool cancel = h.viewer.OnBeforeNavigate(url);

  const std::string page_folder = PageFolder(h.viewer.Files());
  const std::string link = ExpectedLinkText(url, page_folder);
  VELLUM_FUZZ_CHECK(link == LinkText(url, page_folder));
  // Whichever "$" counts, the link is the text after one of the URL's "$"s.
  VELLUM_FUZZ_CHECK(link == url ||
                    (url.ends_with(link) && url[url.size() - link.size() - 1] == '$'));
  // A URL that does not name the page folder: the text after its first "$".
  if (url.find('$') != std::string::npos &&
      Fold(url).text.find(Fold(page_folder).text) == std::string::npos) {
    VELLUM_FUZZ_CHECK(link == url.substr(url.find('$') + 1));
  }
  // Links to libraries are never followed, and never reach the host.
  const bool library_link = url.starts_with(vellum::kLibraryLinkScheme);
  VELLUM_FUZZ_CHECK(cancel == (library_link || (expected_ready && link.starts_with("BCV"))));
  const bool sent = cancel && !library_link && link.size() > 3 && host_there;
  VELLUM_FUZZ_CHECK(h.host.requests.size() == requests + (sent ? 1 : 0));
  // With nobody to ask, a link that names a place goes there itself, as if
  // the host had answered at once: nothing is awaited any more.
  const bool alone = cancel && !library_link && !host_there && !h.viewer.FollowSyncChecked() &&
                     link.size() > 3 &&
                     PlaceOfRequest(link.substr(3), h.viewer.Files(), h.rules).has_value();
  if (sent) {
    VELLUM_FUZZ_CHECK(h.host.requests[requests] == link.substr(3));
    VELLUM_FUZZ_CHECK(h.viewer.AwaitingHost());
  } else if (alone) {
    VELLUM_FUZZ_CHECK(!h.viewer.AwaitingHost());
  } else {
    VELLUM_FUZZ_CHECK(h.viewer.AwaitingHost() == awaiting);
  }
}

void LocationButton(Harness& h) {
  const TbcvRec shown = h.viewer.ShownLocation();
  const bool asks =
      !h.viewer.Closed() && !IsSpecialCode(Code(shown)) && shown.chapter != 0 && h.host.exists;
  const std::size_t requests = h.host.requests.size();
  h.viewer.OnLocationClicked();
  if (asks) {
    VELLUM_FUZZ_CHECK(h.host.requests.size() > requests);
    VELLUM_FUZZ_CHECK(h.host.requests[requests] == LocationRequestText(shown).substr(3));
  } else if (IsSpecialCode(Code(shown)) || shown.chapter == 0) {
    VELLUM_FUZZ_CHECK(h.host.requests.size() == requests);
  }
}

struct Frozen {
  std::size_t navigations;
  std::size_t requests;
  std::size_t scrolls;
  int history;
  std::map<Button, std::string> captions;
};

Frozen Freeze(const Harness& h) {
  return {h.browser.navigations.size(), h.host.requests.size(), h.browser.scrolls.size(),
          h.viewer.HistoryList().Count(), h.controls.captions};
}

// A place's caption: as the record holds it, or for a book of the Bible no
// list names, with its short English name before the numbers.
std::string CaptionOfPlace(const TbcvRec& place) {
  const std::string english = Name(place).empty() ? EnglishShortName(Code(place)) : "";
  return english + LocationCaption(place);
}

void CheckSteadyState(const Harness& h, int& history) {
  VELLUM_FUZZ_CHECK(!h.viewer.NavBusy());
  VELLUM_FUZZ_CHECK(h.controls.lock_succeeds ? h.controls.locks == h.controls.unlocks
                                             : h.controls.unlocks == 0);
  // The history only grows.
  VELLUM_FUZZ_CHECK(h.viewer.HistoryList().Count() >= history);
  history = h.viewer.HistoryList().Count();
  if (h.viewer.Closed()) {
    for (int id = 0; id < kTimerCount; ++id)
      VELLUM_FUZZ_CHECK(!h.timers.Running(static_cast<TimerId>(id)));
    return;
  }
  const TbcvRec& shown = h.viewer.ShownLocation();
  VELLUM_FUZZ_CHECK(h.controls.Caption(Button::kLocation) ==
                    (IsSpecialCode(Code(shown)) ? std::string("About") : CaptionOfPlace(shown)));
  if (h.controls.Visible(Button::kPendingJump)) {
    VELLUM_FUZZ_CHECK(h.controls.Caption(Button::kPendingJump) ==
                      CaptionOfPlace(h.viewer.PendingLocation()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vellum::fuzz::ByteReader input(data, size);
  Harness h;
  const std::uint8_t setup = input.Byte();
  h.controls.lock_succeeds = (setup & 1) == 0;
  h.host.exists = (setup & 2) == 0;
  if (setup & 4) {
    // A book page with anchors of the input's choosing.
    std::vector<std::string> anchors;
    for (int n = input.Byte() % 16; n > 0; --n)
      anchors.push_back(input.Text());
    h.browser.pages[h.Path("alpha.htm")].anchors = anchors;
  }
  if (setup & 8) {
    // A second library, in the user's folder, with Beta and a page it lacks.
    const std::string user = "C:\\Users\\me\\AppData\\Local\\Vellum\\";
    h.fs.user_library_folder = user;
    h.fs.library_subfolders = {{"two.htm"}};
    h.fs.files[user + "two.htm\\index.ini"] =
        "[INFO]\r\nShortName=Two\r\n[Bookfiles]\r\nBET=b.htm\r\nGAM=gone.htm\r\n";
    h.fs.files[user + "two.htm\\b.htm"] = "<html></html>";
  }
  h.Start();

  int history = 0;
  std::optional<Frozen> closed;
  for (int events = 0; events < 64 && !input.Empty(); ++events) {
    switch (input.Byte() % 12) {
      case 0:
      case 1:
        LinkClicked(h, input.Text());
        break;
      case 2:
      case 3: {
        const std::uint32_t code = HostCode(input);
        const std::uint8_t shape = input.Byte();
        Deliver(h, code, input.Bytes(shape % 24), (shape & 0x80) != 0);
        break;
      }
      case 4:
        h.Advance(std::uint64_t{input.Byte()} * 10);
        break;
      case 5:
        h.Advance(250);
        break;
      case 6:
        h.viewer.OnPendingJumpClicked();
        break;
      case 7:
        LocationButton(h);
        break;
      case 8:
        h.host.exists = !h.host.exists;
        break;
      case 9: {
        // The host answers while the request is still being sent.
        const std::uint8_t how = input.Byte();
        if (how & 1) {
          h.host.answer = nullptr;
        } else {
          const std::uint32_t code = HostCode(input);
          const std::string bytes = input.Bytes(kLocationSize);
          h.host.answer = [&h, code, bytes](const std::string&) { Deliver(h, code, bytes, false); };
        }
        break;
      }
      case 10:
        switch (input.Byte() % 8) {
          case 0:
            h.viewer.OnIndexClicked();
            break;
          case 6:
            h.viewer.OnTextSizeChosen(input.Byte() % 3 - 1);
            break;
          case 7:
            // Fine wheels, touchpads and their stop events, any amount.
            h.viewer.OnTextSizeWheel(static_cast<std::int8_t>(input.Byte()) / 40.0);
            break;
          case 4:
            h.viewer.OnLibraryChosen(input.Byte() % 3);
            break;
          case 5:
            if (!h.viewer.Libraries().empty())
              LinkClicked(h, vellum::LibraryLink(
                                 h.viewer.Libraries()[input.Byte() % h.viewer.Libraries().size()]));
            break;
          case 1:
            h.viewer.OnAboutChosen();
            break;
          case 2:
            h.viewer.OnBackClicked();
            break;
          default:
            h.viewer.OnForwardClicked();
            break;
        }
        break;
      default:
        h.viewer.OnResized();
        break;
    }
    CheckSteadyState(h, history);
    if (h.viewer.Closed()) {
      if (!closed) closed = Freeze(h);
      const Frozen now = Freeze(h);
      VELLUM_FUZZ_CHECK(now.navigations == closed->navigations);
      VELLUM_FUZZ_CHECK(now.requests == closed->requests);
      VELLUM_FUZZ_CHECK(now.scrolls == closed->scrolls);
      VELLUM_FUZZ_CHECK(now.history == closed->history);
      VELLUM_FUZZ_CHECK(now.captions == closed->captions);
    }
  }
  return 0;
}
