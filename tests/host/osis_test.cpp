// The mapping between other Bible programs' references (OSIS) and the
// viewer's locations (USFM book codes), and what the viewer makes of the
// events of the BibleSync conversation.
#include "host/osis.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "host/sync_events.h"

namespace vellum::host {
namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view text) {
  std::string out;
  for (const char c : text)
    out.push_back(Lower(c));
  return out;
}

// The published names, written out here independently of the table: OSIS
// book name, USFM code.
constexpr const char* kCanon =
    "Gen GEN Exod EXO Lev LEV Num NUM Deut DEU Josh JOS Judg JDG Ruth RUT 1Sam 1SA 2Sam 2SA "
    "1Kgs 1KI 2Kgs 2KI 1Chr 1CH 2Chr 2CH Ezra EZR Neh NEH Esth EST Job JOB Ps PSA Prov PRO "
    "Eccl ECC Song SNG Isa ISA Jer JER Lam LAM Ezek EZK Dan DAN Hos HOS Joel JOL Amos AMO "
    "Obad OBA Jonah JON Mic MIC Nah NAM Hab HAB Zeph ZEP Hag HAG Zech ZEC Mal MAL "
    "Matt MAT Mark MRK Luke LUK John JHN Acts ACT Rom ROM 1Cor 1CO 2Cor 2CO Gal GAL Eph EPH "
    "Phil PHP Col COL 1Thess 1TH 2Thess 2TH 1Tim 1TI 2Tim 2TI Titus TIT Phlm PHM Heb HEB "
    "Jas JAS 1Pet 1PE 2Pet 2PE 1John 1JN 2John 2JN 3John 3JN Jude JUD Rev REV";
constexpr const char* kDeuterocanon =
    "1Esd 1ES 2Esd 2ES Tob TOB Jdt JDT AddEsth ESG Wis WIS Sir SIR Bar BAR PrAzar S3Y Sus SUS "
    "Bel BEL PrMan MAN 1Macc 1MA 2Macc 2MA EpJer LJE 3Macc 3MA 4Macc 4MA AddPs PS2";

std::vector<std::pair<std::string, std::string>> Pairs(const char* text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::istringstream words(text);
  std::string osis, usfm;
  while (words >> osis >> usfm)
    pairs.emplace_back(osis, usfm);
  return pairs;
}

TEST(Osis, EveryBookMapsBothWays) {
  auto books = Pairs(kCanon);
  ASSERT_EQ(books.size(), 66u);
  const auto deutero = Pairs(kDeuterocanon);
  books.insert(books.end(), deutero.begin(), deutero.end());
  ASSERT_EQ(OsisBooks().size(), books.size()) << "no book the tests do not know";
  for (const auto& [osis, usfm] : books) {
    SCOPED_TRACE(osis);
    const OsisBook* by_name = BookByOsisName(osis);
    ASSERT_NE(by_name, nullptr);
    EXPECT_EQ(by_name->usfm, usfm);
    const OsisBook* by_code = BookByUsfmCode(usfm);
    ASSERT_NE(by_code, nullptr);
    EXPECT_EQ(by_code->osis, osis);
    // Other programs do not all keep the case.
    EXPECT_EQ(BookByOsisName(LowerText(osis)), by_name);
    EXPECT_EQ(BookByUsfmCode(LowerText(usfm)), by_code);
    // A location shows at most five characters of its name.
    EXPECT_FALSE(by_name->short_name.empty());
    EXPECT_LE(by_name->short_name.size(), kNameCapacity);

    const MappedReference mapped = MapOsisReference(osis + ".2.3");
    ASSERT_EQ(mapped.status, ReferenceStatus::kMapped);
    EXPECT_EQ(Code(mapped.location), usfm);
    EXPECT_EQ(Name(mapped.location), by_name->short_name);
    const std::optional<SyncRequest> request = RequestToReference(usfm + "2:3");
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->reference, osis + ".2.3");
  }
}

TEST(Osis, ShortNamesTellTheBooksApart) {
  std::set<std::string> names;
  for (const OsisBook& book : OsisBooks())
    names.insert(LowerText(book.short_name));
  EXPECT_EQ(names.size(), OsisBooks().size());
}

TEST(Osis, References) {
  using S = ReferenceStatus;
  struct Case {
    std::string reference;
    ReferenceStatus status;
    const char* code = "";
    int chapter = 0;
    int verse = 0;
  } cases[] = {
      // Single verses, in any case, with blanks around.
      {"Gen.1.1", S::kMapped, "GEN", 1, 1},
      {"John.3.16", S::kMapped, "JHN", 3, 16},
      {"john.3.16", S::kMapped, "JHN", 3, 16},
      {" John.3.16\n", S::kMapped, "JHN", 3, 16},
      {"Ps.119.176", S::kMapped, "PSA", 119, 176},
      {"Ps.3.0", S::kMapped, "PSA", 3, 0},
      {"1Macc.2.3", S::kMapped, "1MA", 2, 3},
      {"John.03.016", S::kMapped, "JHN", 3, 16},
      {"John.3.16!a", S::kMapped, "JHN", 3, 16},
      // Ranges stand for their start; a chapter or book for its first verse.
      {"Matt.5.3-Matt.5.12", S::kMapped, "MAT", 5, 3},
      {"Matt.5.3-12", S::kMapped, "MAT", 5, 3},
      {"Matt.5.3-6.2", S::kMapped, "MAT", 5, 3},
      {"Gen.50.26-Exod.1.1", S::kMapped, "GEN", 50, 26},
      {"John.3", S::kMapped, "JHN", 3, 1},
      {"John", S::kMapped, "JHN", 1, 1},
      // Work prefixes.
      {"KJV:John.3.16", S::kMapped, "JHN", 3, 16},
      {"Bible.en.KJV:Rom.8.28", S::kMapped, "ROM", 8, 28},
      {"KJV:Rom.8.28-KJV:Rom.8.30", S::kMapped, "ROM", 8, 28},
      // The limits of a location.
      {"John.255.1", S::kMapped, "JHN", 255, 1},
      {"John.256.1", S::kChapterTooLarge},
      {"John.0.0", S::kChapterZero},  // was shown as "John 0:0"
      {"John.0", S::kChapterZero},
      {"John.00.5", S::kChapterZero},
      {"John.99999999999999999999.1", S::kChapterTooLarge},
      {"John.3.32767", S::kMapped, "JHN", 3, 32767},
      {"John.3.32768", S::kVerseTooLarge},
      // Books outside the table.
      {"Xyz.1.1", S::kUnknownBook},
      {"Jn.3.16", S::kUnknownBook},
      {"Xyz.1.1-Xyz.1.2", S::kUnknownBook},
      // Lists.
      {"John.3.16,John.3.17", S::kList},
      {"John.3.16;Rom.1.1", S::kList},
      {"John.3.16 John.3.17", S::kList},
      // Nothing there.
      {"", S::kEmpty},
      {" \t\r\n", S::kEmpty},
      // Not references.
      {"John.3.16-", S::kMalformed},
      {"-John.3.16", S::kMalformed},
      {"John..16", S::kMalformed},
      {"John.3.16.1", S::kMalformed},
      {"John.a.1", S::kMalformed},
      {"John.-3.1", S::kMalformed},
      {"John.+3.1", S::kMalformed},
      {":John.3.16", S::kMalformed},
      {"K/V:John.3.16", S::kMalformed},
      {"KJV:John.3.16:x", S::kMalformed},
      {"John.3.16-Xyz.1.1", S::kMalformed},
      {"John.3.16-Matt.5.3-Matt.5.4", S::kMalformed},
      {"John.3.16!", S::kMalformed},
      {"Jo%hn.3.16", S::kMalformed},
      {std::string("John.3\0.16", 10), S::kMalformed},
      {"John.3." + std::string(300, '1'), S::kMalformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reference);
    const MappedReference mapped = MapOsisReference(c.reference);
    EXPECT_EQ(mapped.status, c.status) << StatusText(mapped.status);
    if (c.status != S::kMapped) {
      EXPECT_EQ(EncodeLocation(mapped.location), EncodeLocation(EmptyLocation()));
      continue;
    }
    EXPECT_EQ(Code(mapped.location), c.code);
    EXPECT_EQ(mapped.location.chapter, c.chapter);
    EXPECT_EQ(mapped.location.verse, c.verse);
    EXPECT_EQ(mapped.location.reserved_a, 0);
    EXPECT_EQ(mapped.location.reserved_b[0] | mapped.location.reserved_b[1], 0);
  }
}

TEST(Osis, RequestsBecomeReferences) {
  struct Case {
    const char* request;
    const char* reference;  // nullptr: not sent
    const char* code = "";
    int chapter = 0;
    int verse = 0;
  } cases[] = {
      {"JHN3:16", "John.3.16", "JHN", 3, 16},
      {"jhn3:16", "John.3.16", "JHN", 3, 16},
      {"1SA3:4", "1Sam.3.4", "1SA", 3, 4},
      {"PSA119:176", "Ps.119.176", "PSA", 119, 176},
      {"JHN3", "John.3", "JHN", 3, 1},
      {"JHN3:0", "John.3.0", "JHN", 3, 0},
      {"S3Y1:1", "PrAzar.1.1", "S3Y", 1, 1},
      {"JHN255:32767", "John.255.32767", "JHN", 255, 32767},
      {"ALP1:1", nullptr},  // a code of the sample library, no Bible book
      {"JHN0:1", nullptr},
      {"JHN256:1", nullptr},
      {"JHN3:32768", nullptr},
      {"JHN3:-1", nullptr},
      {"JHN3:16-18", nullptr},
      {"JHN3:", nullptr},
      {"JHN:16", nullptr},
      {"JH3:16", nullptr},
      {"JHN 3:16", nullptr},
      {"JHN", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const std::optional<SyncRequest> request = RequestToReference(c.request);
    ASSERT_EQ(request.has_value(), c.reference != nullptr);
    if (!request) continue;
    EXPECT_EQ(request->reference, c.reference);
    EXPECT_EQ(Code(request->location), c.code);
    EXPECT_EQ(request->location.chapter, c.chapter);
    EXPECT_EQ(request->location.verse, c.verse);
    // What we send, another viewer maps back to the same place.
    const MappedReference back = MapOsisReference(request->reference);
    ASSERT_EQ(back.status, ReferenceStatus::kMapped);
    EXPECT_TRUE(SameLocation(back.location, request->location));
  }
}

SyncEvent Navigation(std::string reference, std::string bible = "NASB",
                     std::string domain = "BIBLE-VERSE") {
  SyncEvent event;
  event.kind = SyncEvent::Kind::kNavigation;
  event.speaker = "0f2c";
  event.bible = std::move(bible);
  event.reference = std::move(reference);
  event.domain = std::move(domain);
  return event;
}

SyncEvent Other(SyncEvent::Kind kind, std::string info = "") {
  SyncEvent event;
  event.kind = kind;
  event.info = std::move(info);
  return event;
}

TEST(SyncReceiver, NavigationsBecomeLocationsAndTheRestIsCounted) {
  SyncReceiver receiver;
  EXPECT_EQ(receiver.BibleToSend(), "KJV");
  struct Step {
    SyncEvent event;
    const char* shows;  // code of the location handed on, nullptr for none
    SyncCounts after;
    const char* trace_part;
  } steps[] = {
      {Navigation("John.3.16"), "JHN", {1, 0, 0, 0}, "shows JHN 3:16"},
      {Navigation("Xyz.1.1"), nullptr, {1, 1, 0, 0}, "unknown book"},
      {Navigation("John.3.16,17"), nullptr, {1, 2, 0, 0}, "verse list"},
      {Navigation("John.300.1"), nullptr, {1, 3, 0, 0}, "chapter over 255"},
      {Navigation("John.3.16", "KJV", "STRONGS"), nullptr, {1, 4, 0, 0}, "domain"},
      {Other(SyncEvent::Kind::kError, "bad magic"), nullptr, {1, 4, 1, 0}, "1 errors"},
      {Other(SyncEvent::Kind::kMismatch, "sync: bob"), nullptr, {1, 4, 1, 1}, "mismatch"},
      {Other(SyncEvent::Kind::kAnnounce), nullptr, {1, 4, 1, 1}, "announce"},
      {Other(SyncEvent::Kind::kNewSpeaker), nullptr, {1, 4, 1, 1}, "heard"},
      {Other(SyncEvent::Kind::kDeadSpeaker), nullptr, {1, 4, 1, 1}, "gone"},
      {Other(SyncEvent::Kind::kChat, "hello"), nullptr, {1, 4, 1, 1}, "chat"},
      {Other(SyncEvent::Kind::kError, "bad packet index"), nullptr, {1, 4, 2, 1}, "2 errors"},
      {Other(SyncEvent::Kind::kForeign, "10.1.2.3"), nullptr, {1, 4, 2, 1, 1}, "1 dropped"},
      {Navigation("Gen.1.1", "WEB"), "GEN", {2, 4, 2, 1, 1}, "2 taken"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.trace_part);
    const SyncOutcome outcome = receiver.Take(step.event);
    EXPECT_EQ(outcome.location.has_value(), step.shows != nullptr);
    if (outcome.location) {
      EXPECT_EQ(Code(*outcome.location), step.shows);
    }
    EXPECT_NE(outcome.trace.find(step.trace_part), std::string::npos) << outcome.trace;
    EXPECT_EQ(receiver.Counts().navigations, step.after.navigations);
    EXPECT_EQ(receiver.Counts().ignored, step.after.ignored);
    EXPECT_EQ(receiver.Counts().errors, step.after.errors);
    EXPECT_EQ(receiver.Counts().mismatches, step.after.mismatches);
    EXPECT_EQ(receiver.Counts().foreign, step.after.foreign);
  }
  // We answer in the Bible the others used last.
  EXPECT_EQ(receiver.BibleToSend(), "WEB");
}

TEST(SyncReceiver, OnlyPlainBibleNamesAreSentBack) {
  SyncReceiver receiver;
  for (const char* odd :
       {"", "K JV", "KJV\nmsg.sync.verse=Rev.1.1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456"}) {
    receiver.Take(Navigation("John.3.16", odd));
    EXPECT_EQ(receiver.BibleToSend(), "KJV") << odd;
  }
  receiver.Take(Navigation("Xyz.1.1", "NASB"));
  EXPECT_EQ(receiver.BibleToSend(), "KJV") << "only from a navigation we showed";
}

TEST(SyncReceiver, PacketTextIsMadeFitForTheTrace) {
  EXPECT_EQ(TraceText("John.3.16"), "John.3.16");
  EXPECT_EQ(TraceText(std::string("a\nb\0c\x7f", 6)), "a?b?c?");
  EXPECT_EQ(TraceText(std::string(100, 'x'), 10), std::string(10, 'x') + "...");
}

}  // namespace
}  // namespace vellum::host
