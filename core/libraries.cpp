#include "core/libraries.h"

#include <algorithm>

#include "core/catalogue.h"
#include "core/ini_file.h"
#include "core/text.h"

namespace vellum {
namespace {

constexpr std::string_view kFolderSuffix = ".htm";
constexpr char kHexDigits[] = "0123456789abcdef";

void AddLibraries(const FileSystem& fs, const std::string& place, bool in_user_library,
                  const TextRules& rules, std::vector<Library>& libraries) {
  // Ordered as "[name]" ignoring case, as the data folder has always been
  // chosen; names keep their own case, ".HTM" too.
  std::vector<std::string> names;
  for (const FolderEntry& entry : fs.ListSubfolders(place)) {
    if (!entry.hidden && !entry.system && EndsWithIgnoringAsciiCase(entry.name, kFolderSuffix))
      names.push_back(entry.name);
  }
  std::stable_sort(names.begin(), names.end(),
                   [&rules](const std::string& a, const std::string& b) {
                     return rules.CompareIgnoringCase("[" + a + "]", "[" + b + "]") < 0;
                   });
  for (const std::string& name : names) {
    Library library;
    library.place = place;
    library.folder = name;
    library.in_user_library = in_user_library;
    const std::string catalogue =
        fs.ResolvePath(fs.ResolvePath(place, library.folder + fs.Separator()), kCatalogueFileName);
    const ReadResult read = fs.ReadWholeFile(catalogue);
    if (read.status == ReadResult::Status::kOk) {
      const IniFile ini = IniFile::Parse(read.content, rules);
      library.short_name = ini.ReadString("INFO", "ShortName", "");
      library.sample = ini.ReadInteger("INFO", "Sample", 0) != 0;
      library.book_files = ini.SectionLines("Bookfiles");
    }
    libraries.push_back(std::move(library));
  }
  std::stable_partition(libraries.end() - static_cast<std::ptrdiff_t>(names.size()),
                        libraries.end(), [](const Library& l) { return !l.sample; });
}

void Label(std::vector<Library>& libraries, const TextRules& rules) {
  const auto clashes = [&](const Library& library, auto name_of) {
    return std::count_if(libraries.begin(), libraries.end(), [&](const Library& other) {
             return rules.EqualIgnoringCase(name_of(other), name_of(library));
           }) > 1;
  };
  for (Library& library : libraries)
    library.label = library.short_name.empty() ? library.Name() : library.short_name;
  // Each step is decided on the labels before it, then applied to all.
  std::vector<std::string> labels;
  for (const Library& library : libraries) {
    const bool clash = clashes(library, [](const Library& l) { return l.label; });
    labels.push_back(clash ? library.label + " (" + library.folder + ")" : library.label);
  }
  for (std::size_t i = 0; i < libraries.size(); ++i)
    libraries[i].label = labels[i];
  for (std::size_t i = 0; i < libraries.size(); ++i) {
    // The same folder name in both places.
    if (clashes(libraries[i], [](const Library& l) { return l.label; }))
      labels[i] += libraries[i].in_user_library ? " in your library" : " in the program folder";
  }
  for (std::size_t i = 0; i < libraries.size(); ++i)
    libraries[i].label = labels[i];
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Library::Name() const {
  return folder.substr(0, folder.size() - std::min(folder.size(), kFolderSuffix.size()));
}

std::vector<Library> FindLibraries(const FileSystem& fs, const std::string& user_library_folder,
                                   const std::string& exe_folder, const TextRules& rules) {
  std::vector<Library> libraries;
  if (!user_library_folder.empty()) AddLibraries(fs, user_library_folder, true, rules, libraries);
  // A user library folder that is the program folder is listed once.
  if (user_library_folder != exe_folder) AddLibraries(fs, exe_folder, false, rules, libraries);
  Label(libraries, rules);
  return libraries;
}

std::optional<std::size_t> DefaultLibrary(const std::vector<Library>& libraries) {
  const auto last_of = [&libraries](bool samples) -> std::optional<std::size_t> {
    std::optional<std::size_t> last_user;
    std::optional<std::size_t> last_program;
    for (std::size_t i = 0; i < libraries.size(); ++i) {
      if (libraries[i].sample == samples)
        (libraries[i].in_user_library ? last_user : last_program) = i;
    }
    return last_user ? last_user : last_program;
  };
  const std::optional<std::size_t> real = last_of(false);
  return real ? real : last_of(true);
}

std::string MenuLabel(const Library& library) {
  return library.sample ? library.label + " (sample, to try Vellum out)" : library.label;
}

std::string_view PlaceName(bool in_user_library) {
  return in_user_library ? "user" : "program";
}

std::optional<std::size_t> FindLibraryNamed(const std::vector<Library>& libraries,
                                            std::string_view name, const TextRules& rules,
                                            std::optional<bool> in_user_library) {
  if (name.empty()) return std::nullopt;
  // Best first: by folder name over ShortName, then by the place asked for,
  // then the user's library.
  std::optional<std::size_t> best;
  int best_rank = 0;
  for (std::size_t i = 0; i < libraries.size(); ++i) {
    const Library& library = libraries[i];
    int rank = 0;
    if (rules.EqualIgnoringCase(library.Name(), name)) {
      rank = 8;
    } else if (!library.short_name.empty() && rules.EqualIgnoringCase(library.short_name, name)) {
      rank = 4;
    } else {
      continue;
    }
    if (in_user_library && library.in_user_library == *in_user_library) rank += 2;
    if (library.in_user_library) rank += 1;
    if (rank > best_rank) {
      best = i;
      best_rank = rank;
    }
  }
  return best;
}

std::optional<std::size_t> FindSameLibrary(const std::vector<Library>& libraries,
                                           const Library& library, const TextRules& rules) {
  for (std::size_t i = 0; i < libraries.size(); ++i) {
    if (libraries[i].in_user_library == library.in_user_library &&
        libraries[i].place == library.place &&
        rules.EqualIgnoringCase(libraries[i].folder, library.folder))
      return i;
  }
  return std::nullopt;
}

std::string LibraryListText(const std::vector<Library>& libraries) {
  if (libraries.empty()) return "  (none)\n";
  std::string text;
  for (const Library& library : libraries) {
    text += "  ";
    text += library.Name();
    text += "  (";
    text += library.label;
    text += ", in ";
    text += library.place;
    text += ")\n";
  }
  return text;
}

std::vector<Library> InstalledLibraries(const FileSystem& fs, const TextRules& rules) {
  return FindLibraries(fs, fs.UserLibraryFolder(), ExeFolderOf(fs.ExecutablePath(), fs.Separator()),
                       rules);
}

std::string UnknownLibraryText(std::string_view program, std::string_view name,
                               const std::vector<Library>& libraries, const TextRules& rules) {
  if (FindLibraryNamed(libraries, name, rules)) return {};
  std::string text(program);
  text += ": no library is called \"";
  text += name;
  text += "\"; the libraries found are:\n";
  text += LibraryListText(libraries);
  return text;
}

bool LibraryHasBook(const FileSystem& fs, const Library& library, std::string_view code,
                    const TextRules& rules) {
  const std::string page = BookList(library.book_files, rules).Lookup(code);
  if (page.empty() || !StaysInsideFolder(page)) return false;
  return fs.IsFile(
      fs.ResolvePath(fs.ResolvePath(library.place, library.folder + fs.Separator()), page));
}

std::string LibraryLink(const Library& library) {
  std::string link(kLibraryLinkScheme);
  link += library.in_user_library ? 'u' : 'p';
  for (const char c : library.folder) {
    const auto byte = static_cast<unsigned char>(c);
    link += kHexDigits[byte >> 4];
    link += kHexDigits[byte & 15];
  }
  return link;
}

std::optional<std::size_t> LibraryOfLink(const std::vector<Library>& libraries,
                                         std::string_view url, const TextRules& rules) {
  if (url.substr(0, kLibraryLinkScheme.size()) != kLibraryLinkScheme) return std::nullopt;
  url.remove_prefix(kLibraryLinkScheme.size());
  // A browser may add a slash or a fragment; neither belongs to the name.
  while (!url.empty() && (url.back() == '/' || url.back() == '#'))
    url.remove_suffix(1);
  if (url.empty() || (url.front() != 'u' && url.front() != 'p') || url.size() % 2 == 0)
    return std::nullopt;
  const bool in_user_library = url.front() == 'u';
  std::string folder;
  for (std::size_t i = 1; i + 1 < url.size(); i += 2) {
    const int high = HexValue(url[i]);
    const int low = HexValue(url[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    folder += static_cast<char>(high * 16 + low);
  }
  for (std::size_t i = 0; i < libraries.size(); ++i) {
    if (libraries[i].in_user_library == in_user_library &&
        rules.EqualIgnoringCase(libraries[i].folder, folder))
      return i;
  }
  return std::nullopt;
}

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

namespace {

// The own page's words: its title, its sentence ("{library}" and "{book}"
// stand for the names) and the heads of its list, for one library or more.
struct MissingWords {
  std::string_view language;
  bool right_to_left;
  std::string_view title;
  std::string_view sentence;
  std::string_view one_has_it;
  std::string_view some_have_it;
};

constexpr MissingWords kMissingWords[] = {
    {"en", false, "Not in this library", "{library} has nothing on {book}.",
     "This library has it:", "These libraries have it:"},
    {"es", false, "No está en esta biblioteca", "{library} no tiene nada sobre {book}.",
     "Esta biblioteca lo tiene:", "Estas bibliotecas lo tienen:"},
    {"pt", false, "Não está nesta biblioteca", "{library} não tem nada sobre {book}.",
     "Esta biblioteca o tem:", "Estas bibliotecas o têm:"},
    {"fr", false, "Absent de cette bibliothèque", "{library} n’a rien sur {book}.",
     "Cette bibliothèque l’a :", "Ces bibliothèques l’ont :"},
    {"de", false, "Nicht in dieser Bibliothek", "{library} hat nichts zu {book}.",
     "Diese Bibliothek hat es:", "Diese Bibliotheken haben es:"},
    {"it", false, "Non in questa biblioteca", "{library} non ha nulla su {book}.",
     "Questa biblioteca lo ha:", "Queste biblioteche lo hanno:"},
    {"nl", false, "Niet in deze bibliotheek", "{library} heeft niets over {book}.",
     "Deze bibliotheek heeft het:", "Deze bibliotheken hebben het:"},
    {"he", true, "לא בספרייה זו", "ב־{library} אין דבר על {book}.",
     "בספרייה זו יש:", "בספריות אלה יש:"},
    {"ru", false, "Нет в этой библиотеке", "В {library} нет ничего о книге {book}.",
     "Есть в этой библиотеке:", "Есть в этих библиотеках:"},
};

const MissingWords& MissingWordsFor(std::string_view language) {
  const std::string_view primary = language.substr(0, language.find_first_of("-_"));
  for (const MissingWords& words : kMissingWords) {
    if (AsciiTextRules().EqualIgnoringCase(primary, words.language)) return words;
  }
  return kMissingWords[0];
}

std::string Filled(std::string_view sentence, const std::string& library, const std::string& book) {
  std::string out;
  while (!sentence.empty()) {
    if (sentence.starts_with("{library}")) {
      out += library;
      sentence.remove_prefix(9);
    } else if (sentence.starts_with("{book}")) {
      out += book;
      sentence.remove_prefix(6);
    } else {
      out += sentence.front();
      sentence.remove_prefix(1);
    }
  }
  return out;
}

}  // namespace

std::string MissingBookPage(const Library& shown, std::string_view book_name,
                            const std::vector<const Library*>& others, std::string_view language) {
  const MissingWords& words = MissingWordsFor(language);
  std::string page = "<!DOCTYPE html>\n<html lang=\"";
  page += words.language;
  page += words.right_to_left ? "\" dir=\"rtl\">" : "\">";
  page +=
      "<head><meta charset=\"utf-8\">"
      "<meta name=\"color-scheme\" content=\"light dark\"><title>";
  page += words.title;
  page +=
      "</title><style>"
      "body{font:15px/1.5 sans-serif;margin:1.5em;color:#222;background:#fff}"
      "a{color:#0645ad}"
      "@media (prefers-color-scheme:dark){html:not(.vellum-light) body{color:#e2ddd3;"
      "background:#1c1b19}html:not(.vellum-light) a{color:#8fb3ea}}"
      "html.vellum-dark body{color:#e2ddd3;background:#1c1b19}html.vellum-dark a{color:#8fb3ea}"
      "</style></head><body><p>";
  // Names come from the library's files, in UTF-8 or Windows-1252; the page
  // is UTF-8.
  page += Filled(words.sentence, EscapeHtml(DisplayTextToUtf8(shown.label)),
                 EscapeHtml(DisplayTextToUtf8(book_name)));
  page += "</p>\n";
  if (!others.empty()) {
    page += "<p>";
    page += others.size() == 1 ? words.one_has_it : words.some_have_it;
    page += "</p>\n<ul>\n";
    for (const Library* other : others) {
      page += "<li><a href=\"";
      page += LibraryLink(*other);
      page += "\">";
      page += EscapeHtml(DisplayTextToUtf8(other->label));
      page += "</a></li>\n";
    }
    page += "</ul>\n";
  }
  page += "</body></html>\n";
  return page;
}

}  // namespace vellum
