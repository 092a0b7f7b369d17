// A page's anchors: the list of names the page hands over in one text, the
// table built from them and the anchor chosen for a chapter and verse. The
// names come from book pages, which come from anywhere. Checks that every
// entry is what its name says, that a choice always names an entry (exact
// only when chapter and verse match), and, for pages whose anchors stand in
// ascending order, the documented choice case by case.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/anchors.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace vellum;

// As encodeURIComponent writes a name: unreserved characters as they are,
// every other byte as %XX.
std::string PercentEncode(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
        std::string_view("-_.!~*'()").find(c) != std::string_view::npos) {
      out.push_back(c);
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

bool ThreeDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view digits) {
  return (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
}

// The documented choice for a table in ascending order of chapter and verse.
std::optional<AnchorTable::Choice> AscendingChoice(const std::vector<AnchorEntry>& entries,
                                                   int chapter, int verse) {
  if (entries.empty()) return std::nullopt;
  auto key = [](const AnchorEntry& e) { return std::make_tuple(int{e.chapter}, int{e.verse}); };
  const auto wanted = std::make_tuple(chapter, verse);
  for (const AnchorEntry& e : entries) {
    if (key(e) == wanted) return AnchorTable::Choice{e.ordinal, true};
  }
  if (entries.size() == 1) {
    if (entries[0].chapter == chapter) return AnchorTable::Choice{entries[0].ordinal, false};
    return std::nullopt;
  }
  // The last anchor before where chapter:verse would stand ...
  const AnchorEntry* before = nullptr;
  for (const AnchorEntry& e : entries) {
    if (key(e) < wanted) before = &e;
  }
  // ... or the first anchor when none stands before it ...
  if (before == nullptr) return AnchorTable::Choice{entries.front().ordinal, false};
  // ... except past the page's last anchor in a later chapter: the one before it.
  if (before == &entries.back() && entries.back().chapter != chapter) {
    return AnchorTable::Choice{entries[entries.size() - 2].ordinal, false};
  }
  return AnchorTable::Choice{before->ordinal, false};
}

std::vector<std::string> ReadNames(vellum::fuzz::ByteReader& input) {
  std::vector<std::string> names;
  for (int n = input.Byte() % 40; n > 0 && !input.Empty(); --n) {
    const std::uint8_t kind = input.Byte();
    if (kind % 3 == 0) {
      names.push_back(input.Text());  // anything at all
    } else {
      // A chapter/verse name, three digits each, maybe with more behind.
      char name[16];
      std::snprintf(name, sizeof name, "CV%03u%03u", input.U16() % 1000u, input.U16() % 1000u);
      names.push_back(std::string(name) + (kind % 3 == 2 ? input.Text() : std::string()));
    }
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vellum::fuzz::ByteReader input(data, size);
  const std::uint8_t mode = input.Byte();
  const std::uint8_t chapter = input.Byte();
  const auto verse = static_cast<std::int16_t>(input.U16());
  std::vector<std::string> names = ReadNames(input);
  if (mode & 1) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return a.substr(0, 8) < b.substr(0, 8);
    });
  }

  // The names as the page sends them, and the raw text as it may arrive.
  std::string list = std::to_string(names.size()) + ":";
  for (std::size_t i = 0; i < names.size(); ++i)
    list += (i ? " " : "") + PercentEncode(names[i]);
  VELLUM_FUZZ_CHECK(DecodeAnchorNameList(list) == names);
  const std::string raw = input.Rest();
  if (const auto decoded = DecodeAnchorNameList(raw)) {
    // Only a text that starts with the right count of names is taken.
    const std::size_t colon = raw.find(':');
    VELLUM_FUZZ_CHECK(colon != std::string::npos && colon > 0);
    std::uint64_t count = 0;
    for (const char c : std::string_view(raw).substr(0, colon)) {
      VELLUM_FUZZ_CHECK(c >= '0' && c <= '9');
      count = std::min<std::uint64_t>(count * 10 + static_cast<unsigned>(c - '0'), 1u << 30);
    }
    VELLUM_FUZZ_CHECK(count == decoded->size() && count <= kMaxAnchorNames);
  }

  AnchorTable table;
  table.Build(names);
  const std::vector<AnchorEntry>& entries = table.Entries();
  VELLUM_FUZZ_CHECK(table.Count() == static_cast<int>(entries.size()));

  // Every entry is the chapter/verse name at its ordinal, in page order, and
  // every such name has its entry.
  std::size_t next = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const bool counts = name.size() >= 8 && name.starts_with("CV") &&
                        ThreeDigits(name.substr(2, 3)) && ThreeDigits(name.substr(5, 3));
    VELLUM_FUZZ_CHECK(ParseAnchorName(name, static_cast<std::int32_t>(i)).has_value() == counts);
    if (!counts) continue;
    VELLUM_FUZZ_CHECK(next < entries.size());
    const AnchorEntry& e = entries[next++];
    VELLUM_FUZZ_CHECK(e.ordinal == static_cast<std::int32_t>(i));
    VELLUM_FUZZ_CHECK(e.chapter == (Number(name.substr(2, 3)) & 0xFF));
    VELLUM_FUZZ_CHECK(e.verse == (Number(name.substr(5, 3)) & 0xFF));
  }
  VELLUM_FUZZ_CHECK(next == entries.size());

  const auto choice = table.Choose(chapter, verse);
  if (entries.size() >= 2) VELLUM_FUZZ_CHECK(choice.has_value());
  if (entries.empty()) VELLUM_FUZZ_CHECK(!choice.has_value());
  if (choice) {
    const auto chosen = std::find_if(entries.begin(), entries.end(), [&](const AnchorEntry& e) {
      return e.ordinal == choice->ordinal;
    });
    VELLUM_FUZZ_CHECK(chosen != entries.end());
    if (choice->exact) VELLUM_FUZZ_CHECK(chosen->chapter == chapter && chosen->verse == verse);
  }
  const bool ascending = std::is_sorted(
      entries.begin(), entries.end(), [](const AnchorEntry& a, const AnchorEntry& b) {
        return std::make_tuple(a.chapter, a.verse) < std::make_tuple(b.chapter, b.verse);
      });
  if (ascending) {
    const auto expected = AscendingChoice(entries, chapter, verse);
    VELLUM_FUZZ_CHECK(choice.has_value() == expected.has_value());
    if (choice) {
      VELLUM_FUZZ_CHECK(choice->ordinal == expected->ordinal);
      VELLUM_FUZZ_CHECK(choice->exact == expected->exact);
    }
  }
  table.Clear();
  VELLUM_FUZZ_CHECK(table.Count() == 0 && !table.Choose(chapter, verse).has_value());
  return 0;
}
