// References from other Bible programs (BibleSync): whatever bytes arrive as a
// navigation's reference or Bible name, and the viewer's own request texts.
// A reference is shown only as a place the table knows, within a location's
// limits, and what we would send for that place maps back to it.
#include <string>

#include "host/osis.h"
#include "host/sync_events.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace vellum;
using namespace vellum::host;

bool HasInnerSeparator(std::string_view text) {
  text = fuzz::Trim(text);
  for (const char c : text) {
    if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') return true;
  }
  return false;
}

void CheckPlace(const TbcvRec& location) {
  const OsisBook* book = BookByUsfmCode(Code(location));
  VELLUM_FUZZ_CHECK(book != nullptr && book->usfm == Code(location));
  VELLUM_FUZZ_CHECK(Name(location) == book->short_name);
  VELLUM_FUZZ_CHECK(location.verse >= 0);
  VELLUM_FUZZ_CHECK(location.reserved_a == 0 && location.reserved_b[0] == 0 &&
                    location.reserved_b[1] == 0);
  // The reference we would send for this place names it again.
  const MappedReference again =
      MapOsisReference(OsisReference(*book, location.chapter, location.verse));
  VELLUM_FUZZ_CHECK(again.status == ReferenceStatus::kMapped);
  VELLUM_FUZZ_CHECK(SameLocation(again.location, location));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const MappedReference mapped = MapOsisReference(text);
  if (mapped.status == ReferenceStatus::kMapped) {
    VELLUM_FUZZ_CHECK(!HasInnerSeparator(text));
    CheckPlace(mapped.location);
  } else {
    VELLUM_FUZZ_CHECK(SameLocation(mapped.location, EmptyLocation()));
  }

  if (const std::optional<SyncRequest> request = RequestToReference(text)) {
    CheckPlace(request->location);
    VELLUM_FUZZ_CHECK(request->location.chapter >= 1);
    const OsisBook* book = BookByUsfmCode(text.substr(0, 3));
    VELLUM_FUZZ_CHECK(book != nullptr && book->usfm == Code(request->location));
    const MappedReference back = MapOsisReference(request->reference);
    VELLUM_FUZZ_CHECK(back.status == ReferenceStatus::kMapped);
    VELLUM_FUZZ_CHECK(SameLocation(back.location, request->location));
  }

  // The same bytes as a navigation's reference and as its Bible name.
  SyncReceiver receiver;
  SyncEvent event;
  event.kind = SyncEvent::Kind::kNavigation;
  event.reference = std::string(text);
  event.bible = std::string(text);
  event.domain = "BIBLE-VERSE";
  const SyncOutcome outcome = receiver.Take(event);
  VELLUM_FUZZ_CHECK(outcome.location.has_value() == (mapped.status == ReferenceStatus::kMapped));
  VELLUM_FUZZ_CHECK(receiver.Counts().navigations + receiver.Counts().ignored == 1);
  for (const char c : outcome.trace)
    VELLUM_FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 127);
  for (const char c : receiver.BibleToSend())
    VELLUM_FUZZ_CHECK(static_cast<unsigned char>(c) > 32 && c != 127);
  return 0;
}
