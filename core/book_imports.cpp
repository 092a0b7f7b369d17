#include "core/book_imports.h"

#include <cstdio>

namespace vellum {
namespace {

std::vector<std::string_view> Fields(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

// Text from the child for a label: control characters as blanks, at most
// limit bytes.
std::string Shown(std::string_view text, std::size_t limit = 200) {
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 32 || byte == 127 ? ' ' : c;
  }
  return out;
}

std::optional<std::uint64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::vector<ModuleOffer> ParseModuleList(std::string_view listing) {
  std::vector<ModuleOffer> offers;
  for (std::string_view line : Fields(listing, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> f = Fields(line, '\t');
    if (f.size() != 6 || f[0].empty()) continue;
    const std::optional<std::uint64_t> size = Number(f[3]);
    if (!size) continue;
    ModuleOffer offer;
    offer.name = Shown(f[0], 64);
    offer.kind = Shown(f[1], 32);
    offer.language = Shown(f[2], 32);
    offer.size = *size;
    if (f[4] == "new") {
      offer.state = ModuleOffer::State::kNew;
    } else if (f[4] == "imported") {
      offer.state = ModuleOffer::State::kImported;
    } else if (f[4] == "older") {
      offer.state = ModuleOffer::State::kOlderImported;
    } else {
      continue;
    }
    offer.description = Shown(f[5]);
    offers.push_back(std::move(offer));
  }
  return offers;
}

std::string SizeText(std::uint64_t bytes) {
  if (bytes == 0) return {};
  char text[32];
  if (bytes < 1'000'000) {
    std::snprintf(text, sizeof text, "%llu KB",
                  static_cast<unsigned long long>((bytes + 999) / 1000));
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  }
  return text;
}

std::string StateText(ModuleOffer::State state) {
  switch (state) {
    case ModuleOffer::State::kNew:
      return {};
    case ModuleOffer::State::kImported:
      return "in your library";
    case ModuleOffer::State::kOlderImported:
      return "older in your library";
  }
  return {};
}

std::string OfferText(const ModuleOffer& offer) {
  std::string text = offer.name + " \u2014 " + offer.description + " (" + offer.language;
  if (const std::string size = SizeText(offer.size); !size.empty()) text += ", " + size;
  text += ")";
  if (const std::string state = StateText(offer.state); !state.empty()) text += ": " + state;
  return text;
}

std::optional<ImportProgress> ParseProgressLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  constexpr std::string_view kStart = "progress ";
  if (line.substr(0, kStart.size()) != kStart) return std::nullopt;
  line.remove_prefix(kStart.size());
  const std::size_t first = line.find(' ');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = line.find(' ', first + 1);
  const std::optional<std::uint64_t> book = Number(line.substr(0, first));
  const std::optional<std::uint64_t> books = Number(
      line.substr(first + 1, second == std::string_view::npos ? second : second - first - 1));
  if (!book || !books || *books == 0 || *books > 1000 || *book > *books) return std::nullopt;
  ImportProgress progress;
  progress.book = static_cast<int>(*book);
  progress.books = static_cast<int>(*books);
  if (second != std::string_view::npos) progress.book_name = Shown(line.substr(second + 1), 80);
  return progress;
}

std::string ImportOutcome(int exit_code, std::string_view errors) {
  switch (exit_code) {
    case 0:
      return "Added";
    case 6:
      return "Already in your library";
    case 130:
      return "Cancelled; nothing was written";
    default:
      break;
  }
  // "vellum-import: NAME: WHAT": the reason is WHAT, and what the SWORD
  // library said after it.
  std::string reason;
  for (std::string_view line : Fields(errors, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    constexpr std::string_view kOwn = "vellum-import: ";
    if (line.substr(0, kOwn.size()) == kOwn && reason.empty()) {
      line.remove_prefix(kOwn.size());
      const std::size_t colon = line.find(": ");
      reason = Shown(colon == std::string_view::npos ? line : line.substr(colon + 2));
    } else if (!reason.empty() && line.substr(0, 2) == "  ") {
      reason += ";";
      reason += Shown(line.substr(1));
    }
  }
  if (reason.empty()) {
    char text[64];
    std::snprintf(text, sizeof text, "The import failed without saying why (it ended with %d)",
                  exit_code);
    return text;
  }
  if (reason.size() > 300) reason = reason.substr(0, 300) + "...";
  reason[0] = static_cast<char>(reason[0] >= 'a' && reason[0] <= 'z' ? reason[0] - 32 : reason[0]);
  return reason;
}

std::optional<std::string> ImportedLibraryName(std::string_view line) {
  constexpr std::string_view kStart = "Imported ";
  if (line.substr(0, kStart.size()) != kStart) return std::nullopt;
  line.remove_prefix(kStart.size());
  const std::size_t end = line.find(" (");
  if (end == 0 || end == std::string_view::npos || end > 200) return std::nullopt;
  return Shown(line.substr(0, end));
}

std::vector<std::string> ImportArguments(const std::string& module, bool replace) {
  std::vector<std::string> arguments = {"--machine"};
  if (replace) arguments.push_back("--force");
  // Names come from the listing and paths from a file chooser (absolute):
  // neither starts with "-".
  arguments.push_back(module);
  return arguments;
}

}  // namespace vellum
