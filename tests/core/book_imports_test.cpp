// What the Add books dialog makes of the import program's lines.
#include "core/book_imports.h"

#include <gtest/gtest.h>

namespace vellum {
namespace {

TEST(BookImports, TheListingTakesWholeLinesOnly) {
  const std::vector<ModuleOffer> offers = ParseModuleList(
      "KJV\tBible\ten\t3132622\tnew\tKing James Version\n"
      "Scofield\tCommentary\ten\t0\tolder\tScofield \x01Notes\r\n"
      "TDavid\tCommentary\ten\t5216024\timported\tTreasury\n"
      "Short\tBible\ten\t12\tnew\n"                     // a field short
      "Big\tBible\ten\t99999999999999999999\tnew\tx\n"  // no size a file has
      "Odd\tBible\ten\t12\tmaybe\tx\n"                  // a state of its own
      "\tBible\ten\t12\tnew\tx\n"                       // no name
      "No newline\tBible\ten\t1\tnew\tlast");
  ASSERT_EQ(offers.size(), 4u);
  EXPECT_EQ(offers[0].name, "KJV");
  EXPECT_EQ(offers[0].size, 3132622u);
  EXPECT_EQ(offers[1].state, ModuleOffer::State::kOlderImported);
  EXPECT_EQ(offers[1].description, "Scofield  Notes") << "control characters made blanks";
  EXPECT_EQ(offers[2].state, ModuleOffer::State::kImported);
  EXPECT_EQ(offers[3].name, "No newline");
  EXPECT_EQ(SizeText(3132622), "3.1 MB");
  EXPECT_EQ(SizeText(847474), "848 KB");
  EXPECT_EQ(SizeText(0), "");
  EXPECT_EQ(StateText(ModuleOffer::State::kOlderImported), "older in your library");
  EXPECT_EQ(OfferText(offers[0]), "KJV \u2014 King James Version (en, 3.1 MB)");
  EXPECT_EQ(OfferText(offers[1]), "Scofield \u2014 Scofield  Notes (en): older in your library");
}

TEST(BookImports, ProgressAndOutcomesInTheReadersWords) {
  const struct {
    const char* line;
    int book;  // -1: not a progress line
    int books;
    const char* name;
  } lines[] = {
      {"progress 1 66 Genesis", 1, 66, "Genesis"},
      {"progress 3 66 1 Samuel\r", 3, 66, "1 Samuel"},
      {"progress 2 2", 2, 2, ""},
      {"progress 67 66 Too far", -1, 0, ""},
      {"progress 1 0 None", -1, 0, ""},
      {"progress x 66 Genesis", -1, 0, ""},
      {"Imported KJV (Bible) into ...", -1, 0, ""},
  };
  for (const auto& l : lines) {
    SCOPED_TRACE(l.line);
    const std::optional<ImportProgress> p = ParseProgressLine(l.line);
    ASSERT_EQ(p.has_value(), l.book >= 0);
    if (!p) continue;
    EXPECT_EQ(p->book, l.book);
    EXPECT_EQ(p->books, l.books);
    EXPECT_EQ(p->book_name, l.name);
  }

  const struct {
    int code;
    const char* errors;
    const char* shown;
  } outcomes[] = {
      {0, "", "Added"},
      {6, "vellum-import: KJV: /home/a/KJV.htm is there already", "Already in your library"},
      {130, "vellum-import: KJV: interrupted; nothing was written",
       "Cancelled; nothing was written"},
      {4,
       "vellum-import: /tmp/x.zip: cannot be read cleanly: not a SWORD module (no mods.d/*.conf "
       "in it)\n",
       "Cannot be read cleanly: not a SWORD module (no mods.d/*.conf in it)"},
      {4, "vellum-import: Bad: cannot be read cleanly\n  the SWORD library says: no data\n",
       "Cannot be read cleanly; the SWORD library says: no data"},
      {5, "", "The import failed without saying why (it ended with 5)"},
  };
  for (const auto& o : outcomes) {
    SCOPED_TRACE(o.shown);
    EXPECT_EQ(ImportOutcome(o.code, o.errors), o.shown);
  }
  EXPECT_EQ(ImportedLibraryName("Imported ZipBible (Bible) into /h/ZipBible.htm: 2 books"),
            "ZipBible");
  EXPECT_EQ(ImportedLibraryName("Imported  (Bible)"), std::nullopt);
  EXPECT_EQ(ImportedLibraryName("progress 1 2 Genesis"), std::nullopt);
  EXPECT_EQ(ImportArguments("KJV", true),
            (std::vector<std::string>{"--machine", "--force", "KJV"}));
}

}  // namespace
}  // namespace vellum
