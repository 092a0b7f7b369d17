#include "tools/import/sword_library.h"

#include <encfiltmgr.h>
#include <filemgr.h>
#include <gbfxhtml.h>
#include <localemgr.h>
#include <stringmgr.h>
#include <swconfig.h>
#include <swlocale.h>
#include <swlog.h>
#include <swoptfilter.h>
#include <teixhtml.h>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>

#include "platform/wide_text_win.h"
#else
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <string_view>

#include "tools/import/entry_html.h"

namespace vellum::import {
namespace {

// The library's log, handed to the library, which deletes it. It reports
// errors and warnings to whoever collects them at the moment.
class CollectingLog final : public sword::SWLog {
 public:
  explicit CollectingLog(LibraryReports* reports) : reports_(reports) {
    setLogLevel(sword::SWLog::LOG_WARN);
  }
  void logMessage(const char* message, int level) const override {
    if (reports_ != nullptr && level <= sword::SWLog::LOG_WARN && message != nullptr)
      reports_->Add(message);
  }

 private:
  LibraryReports* reports_;
};

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string ConfigEntry(const sword::SWModule& module, const char* key) {
  const char* value = module.getConfigEntry(key);
  return value != nullptr ? value : "";
}

// Bibles and commentaries are the versified kinds a page per book suits.
std::string KindOf(const sword::SWModule& module) {
  const std::string type = module.getType() != nullptr ? module.getType() : "";
  if (type == "Biblical Texts") return "Bible";
  if (type == "Commentaries") return "Commentary";
  return {};
}

bool IsVersified(sword::SWModule& module) {
  return dynamic_cast<sword::VerseKey*>(module.getKey()) != nullptr && !KindOf(module).empty();
}

void SetPageOptions(sword::SWMgr& manager) {
  // What a reader of a page wants to see: notes and headings on, the
  // apparatus of word studies off.
  for (const auto& [option, value] : {std::pair{"Footnotes", "On"},
                                      {"Headings", "On"},
                                      {"Cross-references", "On"},
                                      {"Strong's Numbers", "Off"},
                                      {"Morphological Tags", "Off"},
                                      {"Lemmas", "Off"},
                                      {"Morpheme Segmentation", "Off"},
                                      {"Transliterated Forms", "Off"},
                                      {"Enumerations", "Off"},
                                      {"Glosses", "Off"},
                                      {"Hebrew Vowel Points", "On"},
                                      {"Greek Accents", "On"},
                                      {"Words of Christ in Red", "On"},
                                      {"Textual Variants", "Primary Reading"}})
    manager.setGlobalOption(option, value);
}

// The English names the library knows without a locale file.
const char* EnglishLocale() {
  return sword::SWLocale::DEFAULT_LOCALE_NAME;
}

// Where Debian and a build from source keep the locales, for a library
// whose modules are elsewhere (SWORD_PATH names a folder of modules only).
// Windows keeps them with the modules, where the library looks itself.
#ifdef _WIN32
constexpr const char* kSystemLocaleFolders[] = {"locales.d"};
#else
constexpr const char* kSystemLocaleFolders[] = {"/usr/share/sword/locales.d",
                                                "/usr/local/share/sword/locales.d"};
#endif

#ifdef _WIN32
// Built without ICU, the library would take its locales as Latin-1 and skip
// the UTF-8 ones; Windows itself knows Unicode upper and lower case.
class WindowsStringMgr : public sword::StringMgr {
 public:
  char* upperUTF8(char* text, unsigned int max) const override { return Cased(text, max, true); }
  char* lowerUTF8(char* text, unsigned int max) const override { return Cased(text, max, false); }
  bool isUpper(SW_u32 c) const override { return c <= 0xFFFF && ::IsCharUpperW(Wide(c)) != 0; }
  bool isLower(SW_u32 c) const override { return c <= 0xFFFF && ::IsCharLowerW(Wide(c)) != 0; }
  bool isDigit(SW_u32 c) const override { return c >= '0' && c <= '9'; }
  bool isAlpha(SW_u32 c) const override { return c <= 0xFFFF && ::IsCharAlphaW(Wide(c)) != 0; }

 protected:
  bool supportsUnicode() const override { return true; }

 private:
  static wchar_t Wide(SW_u32 c) { return static_cast<wchar_t>(c); }

  // In place: within max bytes, its end included, when max is given, else
  // within the text's own length. Text that is not UTF-8, or would not fit,
  // is left as it is.
  static char* Cased(char* text, unsigned int max, bool upper) {
    if (text == nullptr) return text;
    const std::size_t room = max != 0 ? max - 1 : std::strlen(text);
    std::wstring wide = Utf8ToWide(text);
    if (wide.empty()) return text;
    if (upper)
      ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    else
      ::CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    const std::string cased = WideToUtf8(wide);
    if (cased.empty() || cased.size() > room) return text;
    std::memcpy(text, cased.data(), cased.size());
    text[cased.size()] = '\0';
    return text;
  }
};
#endif

}  // namespace

void UseUnicodeText() {
#ifdef _WIN32
  static const bool once = [] {
    sword::StringMgr::setSystemStringMgr(new WindowsStringMgr);
    return true;
  }();
  (void)once;
#endif
}

namespace {

// A file for what the library prints, gone when closed; -1 when none.
int OpenScratchFile() {
#ifdef _WIN32
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (::GetTempPathW(MAX_PATH + 1, folder) == 0 || ::GetTempFileNameW(folder, L"vim", 0, name) == 0)
    return -1;
  HANDLE file = ::CreateFileW(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ::DeleteFileW(name);
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (fd < 0) ::CloseHandle(file);
  return fd;
#else
  return ::memfd_create("vellum-import-library-output", MFD_CLOEXEC);
#endif
}

// Reads what was written to fd from offset on.
long long ReadAt(int fd, char* buffer, unsigned size, long long offset) {
#ifdef _WIN32
  if (::_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
  return ::_read(fd, buffer, size);
#else
  return ::pread(fd, buffer, size, offset);
#endif
}

bool HasLocale(sword::LocaleMgr& manager, std::string_view name) {
  for (const sword::SWBuf& available : manager.getAvailableLocales()) {
    if (name == available.c_str()) return true;
  }
  return false;
}

// The locale for a module's language: the tag itself ("pt_BR", also written
// "pt-BR"), else its primary subtag ("es" for "es-MX"); "" for English or a
// language the library has no locale for. Asking the library for a locale
// it lacks would be reported as an error of the module.
std::string LocaleFor(std::string_view language) {
  std::string tag(language);
  std::replace(tag.begin(), tag.end(), '-', '_');
  const std::string primary = tag.substr(0, tag.find('_'));
  if (primary.empty() || primary == "en") return {};
  sword::LocaleMgr& manager = *sword::LocaleMgr::getSystemLocaleMgr();
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (const std::string& name : {tag, primary}) {
      if (HasLocale(manager, name)) return name;
    }
    if (attempt == 0) {
      for (const char* folder : kSystemLocaleFolders) {
        if (::access(folder, R_OK) == 0) manager.loadConfigDir(folder);
      }
    }
  }
  return {};
}

}  // namespace

LibraryReports::LibraryReports() {
  sword::SWLog::setSystemLog(new CollectingLog(this));
  // The library prints some of its errors (a failed read of a data file)
  // straight to standard error or output: catch them in a file of our own.
  std::fflush(stdout);
  std::fflush(stderr);
  std::cout.flush();
  capture_ = OpenScratchFile();
  bool watching = capture_ >= 0;
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    if (!watching) break;
    saved_[fd - 1] = ::dup(fd);
    watching = saved_[fd - 1] >= 0 && ::dup2(capture_, fd) >= 0;
  }
  if (!watching) Add("cannot watch the library's output: its read errors may go unnoticed");
}

LibraryReports::~LibraryReports() {
  sword::SWLog::setSystemLog(new CollectingLog(nullptr));
  std::fflush(stdout);
  std::fflush(stderr);
  std::cout.flush();
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    if (saved_[fd - 1] < 0) continue;
    (void)::dup2(saved_[fd - 1], fd);
    ::close(saved_[fd - 1]);
  }
  if (capture_ >= 0) ::close(capture_);
}

void LibraryReports::Add(const char* message) noexcept {
  try {
    std::string line = message;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
      line.pop_back();
    // The same complaint for every verse says no more than once.
    if (!line.empty() && std::find(lines_.begin(), lines_.end(), line) == lines_.end())
      lines_.push_back(std::move(line));
  } catch (...) {
    // Out of memory while reporting: nothing better to do than go on.
  }
}

std::vector<std::string> LibraryReports::Take() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::cout.flush();
  std::cerr.flush();
  if (capture_ >= 0) {
    std::string printed;
    char chunk[4096];
    for (;;) {
      const long long n = ReadAt(capture_, chunk, sizeof chunk, read_);
      if (n <= 0) break;
      printed.append(chunk, static_cast<std::size_t>(n));
      read_ += n;
    }
    std::size_t start = 0;
    while (start < printed.size()) {
      std::size_t end = printed.find('\n', start);
      if (end == std::string::npos) end = printed.size();
      Add(printed.substr(start, end - start).c_str());
      start = end + 1;
    }
  }
  std::vector<std::string> taken;
  taken.swap(lines_);
  return taken;
}

SwordLibrary::SwordLibrary(const std::string& modules_folder)
    : manager_(modules_folder.empty()
                   ? std::make_unique<sword::SWMgr>(new sword::EncodingFilterMgr(sword::ENC_UTF8))
                   // That folder's modules alone, none of the user's.
                   : std::make_unique<sword::SWMgr>(modules_folder.c_str(), true,
                                                    new sword::EncodingFilterMgr(sword::ENC_UTF8),
                                                    false, false)) {
#ifdef _WIN32
  // Windows programs keep modules for everyone and for the user; the
  // library itself looks only at the first place it finds. SWORD_PATH, the
  // reader's own choice, is taken last so that its modules win.
  if (modules_folder.empty()) {
    struct Place {
      const char* variable;
      const char* below;
    };
    for (const Place& place : {Place{"ALLUSERSPROFILE", "\\Application Data\\Sword"},
                               Place{"APPDATA", "\\Sword"}, Place{"SWORD_PATH", ""}}) {
      const std::string root = sword::FileMgr::getEnvValue(place.variable).c_str();
      if (!root.empty()) manager_->augmentModules((root + place.below).c_str());
    }
  }
#endif
  SetPageOptions(*manager_);
}

SwordLibrary::~SwordLibrary() {
  if (module_ != nullptr) {
    // Our filters die with us; the module, owned by the manager, must not
    // keep pointers to them.
    for (sword::SWFilter* filter :
         {static_cast<sword::SWFilter*>(osis_filter_.get()),
          static_cast<sword::SWFilter*>(thml_filter_.get()), other_filter_.get()})
      if (filter != nullptr) module_->removeRenderFilter(filter);
  }
}

std::vector<ModuleSummary> SwordLibrary::Importable() {
  std::vector<ModuleSummary> modules;
  for (auto& [name, module] : manager_->getModules()) {
    if (module == nullptr || !IsVersified(*module)) continue;
    modules.push_back({name.c_str(), KindOf(*module),
                       module->getLanguage() != nullptr ? module->getLanguage() : "",
                       module->getDescription() != nullptr ? module->getDescription() : "",
                       ConfigEntry(*module, "Version"),
                       std::strtoull(ConfigEntry(*module, "InstallSize").c_str(), nullptr, 10)});
  }
  return modules;
}

SwordLibrary::Found SwordLibrary::Open(const std::string& name, std::string& reason) {
  for (auto& [module_name, module] : manager_->getModules()) {
    if (module != nullptr && EqualIgnoringAsciiCase(module_name.c_str(), name)) module_ = module;
  }
  if (module_ == nullptr) {
    // Configured but not loaded: the library did not know how to read it.
    for (auto& [section, entries] : manager_->config->getSections()) {
      if (!EqualIgnoringAsciiCase(section.c_str(), name)) continue;
      const sword::SWBuf driver = entries["ModDrv"];
      reason = "its configuration names the driver \"" + std::string(driver.c_str()) +
               "\", which this SWORD library cannot read";
      return Found::kUnloadable;
    }
    return Found::kMissing;
  }
  if (!IsVersified(*module_)) {
    reason = "it is of the kind \"" +
             std::string(module_->getType() != nullptr ? module_->getType() : "?") +
             "\"; only Bibles and commentaries can be imported";
    module_ = nullptr;
    return Found::kNotVersified;
  }
  if (module_->getConfigEntry("CipherKey") != nullptr &&
      ConfigEntry(*module_, "CipherKey").empty()) {
    reason = "it is locked: its CipherKey is not set";
    module_ = nullptr;
    return Found::kLocked;
  }

  auto* key = dynamic_cast<sword::VerseKey*>(module_->getKey());
  // Book names in the module's language: the page titles, the index page,
  // and references written out in it.
  locale_ = LocaleFor(module_->getLanguage() != nullptr ? module_->getLanguage() : "");
  key->setLocale(locale_.empty() ? EnglishLocale() : locale_.c_str());
  resolver_ = std::make_unique<ReferenceResolver>(key->getVersificationSystem(),
                                                  locale_.empty() ? EnglishLocale() : locale_);
  switch (module_->getMarkup()) {
    case sword::FMT_OSIS:
      osis_filter_ = std::make_unique<OsisPageFilter>(*resolver_);
      module_->addRenderFilter(osis_filter_.get());
      break;
    case sword::FMT_THML:
      thml_filter_ = std::make_unique<ThmlPageFilter>(*resolver_);
      module_->addRenderFilter(thml_filter_.get());
      break;
    case sword::FMT_GBF:
      other_filter_ = std::make_unique<GbfPageFilter>();
      module_->addRenderFilter(other_filter_.get());
      break;
    case sword::FMT_TEI:
      other_filter_ = std::make_unique<sword::TEIXHTML>();
      module_->addRenderFilter(other_filter_.get());
      break;
    default:
      break;  // plain text: escaped by us
  }
  // The note filters take a note's text out of the entry (to show it in a
  // window of its own, behind a marker); a page shows it inline instead, so
  // they go. The module keeps no other reference to them; the manager owns
  // them.
  auto& options = const_cast<sword::OptionFilterList&>(module_->getOptionFilters());
  options.remove_if([](sword::SWOptionFilter* filter) {
    const char* option = filter != nullptr ? filter->getOptionName() : nullptr;
    return option != nullptr && (std::string_view(option) == "Footnotes" ||
                                 std::string_view(option) == "Cross-references");
  });
  key->setIntros(true);
  module_->setSkipConsecutiveLinks(true);
  return Found::kOk;
}

ModuleFacts SwordLibrary::Facts() const {
  ModuleFacts facts;
  const sword::SWModule& m = *module_;
  facts.name = m.getName();
  facts.kind = KindOf(*module_);
  facts.description = m.getDescription() != nullptr ? m.getDescription() : "";
  facts.abbreviation = ConfigEntry(m, "Abbreviation");
  if (facts.abbreviation.empty()) facts.abbreviation = facts.name;
  facts.about_rtf = ConfigEntry(m, "About");
  for (const char* key :
       {"DistributionLicense", "DistributionNotes", "Copyright", "CopyrightHolder", "CopyrightDate",
        "CopyrightNotes", "ShortCopyright", "TextSource", "Version"}) {
    const std::string value = ConfigEntry(m, key);
    if (!value.empty()) facts.licence.emplace_back(key, value);
  }
  facts.language = m.getLanguage() != nullptr ? m.getLanguage() : "";
  facts.right_to_left = m.getDirection() == sword::DIRECTION_RTL;
  facts.font = ConfigEntry(m, "Font");
  facts.versification =
      dynamic_cast<const sword::VerseKey*>(module_->getKey())->getVersificationSystem();
  const char* css = module_->getRenderHeader();
  facts.library_css = css != nullptr ? css : "";
  facts.names_locale = locale_;
  facts.version = ConfigEntry(m, "Version");
  return facts;
}

std::vector<LocalBookName> SwordLibrary::BookNames(const std::vector<std::string>& codes) const {
  sword::LocaleMgr& manager = *sword::LocaleMgr::getSystemLocaleMgr();
  sword::SWLocale* english = manager.getLocale(EnglishLocale());
  sword::SWLocale* locale = locale_.empty() ? english : manager.getLocale(locale_.c_str());
  const auto* key = dynamic_cast<const sword::VerseKey*>(module_->getKey());
  const sword::VersificationMgr::System* system =
      sword::VersificationMgr::getSystemVersificationMgr()->getVersificationSystem(
          key->getVersificationSystem());
  if (locale == nullptr || english == nullptr || system == nullptr) return {};

  struct Named {
    const BookCode* code;
    std::string full;
    std::string abbreviation;
  };
  std::vector<Named> found;
  // A locale without preferred abbreviations of its own gives the English
  // ones back; those are no short form for its readers.
  bool own_abbreviations = locale_.empty();
  for (int i = 0; i < system->getBookCount(); ++i) {
    const sword::VersificationMgr::Book* book = system->getBook(i);
    const BookCode* code = book != nullptr ? FindOsisBook(book->getOSISName()) : nullptr;
    if (code == nullptr) continue;
    const std::string preferred = book->getPreferredAbbreviation();
    const std::string abbreviation = locale->translate(("prefAbbr_" + preferred).c_str());
    const std::string full = locale->translate(book->getLongName());
    // Where the locale has no abbreviation for it, the library translates
    // the English one as a name: "Job" gives the full name.
    own_abbreviations = own_abbreviations || (abbreviation != preferred && abbreviation != full);
    found.push_back({code, full, abbreviation});
  }

  // The spellings the locale reads beyond the library's English ones.
  std::set<std::string> english_spellings;
  int count = 0;
  const sword::abbrev* list = english->getBookAbbrevs(&count);
  for (int i = 0; i < count; ++i)
    english_spellings.insert(list[i].ab);
  std::vector<std::pair<std::string, const BookCode*>> spellings;
  if (locale != english) {
    list = locale->getBookAbbrevs(&count);
    for (int i = 0; i < count; ++i) {
      const BookCode* code = FindOsisBook(list[i].osis);
      if (code != nullptr && english_spellings.count(list[i].ab) == 0)
        spellings.emplace_back(list[i].ab, code);
    }
  }

  std::vector<LocalBookName> books;
  for (const std::string& code : codes) {
    const auto book = std::find_if(found.begin(), found.end(),
                                   [&code](const Named& f) { return f.code->usfm == code; });
    if (book == found.end()) continue;
    LocalBookName name{code,
                       book->full,
                       ShortBookName(book->full, own_abbreviations ? book->abbreviation : ""),
                       {}};
    for (const auto& [spelling, spelled] : spellings) {
      if (spelled == book->code) name.abbreviations.push_back(spelling);
    }
    books.push_back(std::move(name));
  }
  return books;
}

bool SwordLibrary::Next(Entry& entry, bool& failed) {
  auto* key = dynamic_cast<sword::VerseKey*>(module_->getKey());
  failed = false;
  for (;;) {
    if (!started_) {
      module_->setPosition(sword::TOP);
      started_ = true;
    } else {
      module_->increment(1);
    }
    if (module_->popError()) return false;
    if (module_->getRawEntryBuf().length() == 0) continue;

    std::string rendered = module_->renderText().c_str();
    if ((osis_filter_ && osis_filter_->Failed()) || (thml_filter_ && thml_filter_->Failed())) {
      failed = true;
      return false;
    }
    if (module_->getMarkup() == sword::FMT_PLAIN) {
      std::string html;
      for (const char c : EscapeHtmlText(rendered))
        html += c == '\n' ? std::string("<br>") : std::string(1, c);
      rendered = std::move(html);
    }
    entry.html = SanitizeEntryHtml(rendered);
    if (!HasVisibleText(entry.html)) continue;

    entry.book = key->getTestament() == 0 || key->getBook() == 0
                     ? nullptr
                     : FindOsisBook(key->getOSISBookName());
    entry.book_name = entry.book != nullptr ? key->getBookName() : "";
    entry.chapter = key->getChapter();
    entry.verse = key->getVerse();
    if (const sword::VersificationMgr::System* system =
            sword::VersificationMgr::getSystemVersificationMgr()->getVersificationSystem(
                key->getVersificationSystem())) {
      entry.book_count = system->getBookCount();
      entry.book_number = key->getBook() + (key->getTestament() > 1 ? system->getBMAX()[0] : 0);
    }
    entry.last_verse = entry.verse;
    if (entry.verse > 0) {
      // A range is one entry that the following verses link to.
      sword::VerseKey probe(*key);
      probe.setIntros(false);
      for (int n = 0; n < 200; ++n) {
        probe.increment(1);
        if (probe.popError() || probe.getChapter() != entry.chapter ||
            probe.getBook() != key->getBook() || !module_->isLinked(key, &probe))
          break;
        entry.last_verse = probe.getVerse();
      }
    }
    return true;
  }
}

}  // namespace vellum::import
