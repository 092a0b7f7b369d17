#include "tools/import/page_words.h"

#include <array>

#include "core/text.h"

namespace vellum::import {
namespace {

// A few words in the languages of most modules; English for the others.
constexpr std::array<PageWords, 9> kWords = {{
    {"en", "Chapter", "Introduction", "Books", "About", "Licence", "Bible", "Commentary",
     "from its SWORD module"},
    {"es", "Capítulo", "Introducción", "Libros", "Acerca de", "Licencia", "Biblia", "Comentario",
     "de su módulo SWORD"},
    {"pt", "Capítulo", "Introdução", "Livros", "Sobre", "Licença", "Bíblia", "Comentário",
     "do seu módulo SWORD"},
    {"fr", "Chapitre", "Introduction", "Livres", "À propos", "Licence", "Bible", "Commentaire",
     "depuis son module SWORD"},
    {"de", "Kapitel", "Einleitung", "Bücher", "Über", "Lizenz", "Bibel", "Kommentar",
     "aus seinem SWORD-Modul"},
    {"it", "Capitolo", "Introduzione", "Libri", "Informazioni", "Licenza", "Bibbia", "Commento",
     "dal suo modulo SWORD"},
    {"nl", "Hoofdstuk", "Inleiding", "Boeken", "Over", "Licentie", "Bijbel", "Commentaar",
     "uit zijn SWORD-module"},
    {"he", "פרק", "מבוא", "ספרים", "אודות", "רישיון", "כתבי הקודש", "פירוש", "ממודול SWORD"},
    {"ru", "Глава", "Введение", "Книги", "О модуле", "Лицензия", "Библия", "Комментарий",
     "из модуля SWORD"},
}};

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Keys and values of an ini line may hold neither line ends nor, in a key,
// the "=" that ends it; a value keeps everything else.
std::string IniText(std::string_view text, bool key) {
  std::string clean;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || (key && c == '=')) continue;
    clean += c;
  }
  return std::string(TrimControls(clean));
}

}  // namespace

const PageWords& WordsFor(std::string_view language) {
  const std::size_t end = language.find_first_of("-_");
  const std::string_view primary = language.substr(0, end);
  for (const PageWords& words : kWords) {
    if (primary.size() != words.language.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < primary.size(); ++i)
      same = same && AsciiLower(primary[i]) == words.language[i];
    if (same) return words;
  }
  return kWords[0];
}

std::string ShortBookName(std::string_view full_name, std::string_view abbreviation) {
  if (FirstCharacters(full_name, kCaptionNameCharacters).size() == full_name.size())
    return std::string(full_name);
  if (!abbreviation.empty()) return FirstCharacters(abbreviation, kCaptionNameCharacters);
  return FirstCharacters(full_name, kCaptionNameCharacters);
}

std::string LibraryBookNamesIni(std::string_view module_name, std::string_view language,
                                const std::vector<LocalBookName>& books) {
  const std::string eol = "\r\n";
  std::string ini = "; Book names of " + IniText(module_name, false) + " in its language, for" +
                    " the viewer's captions and its Go to field." + eol;
  ini += "[INFO]" + eol + "Language=" + IniText(language, false) + eol + eol;
  ini += "[BKA]" + eol;
  for (const LocalBookName& book : books)
    ini += book.code + "=" + IniText(book.short_name, false) + eol;
  ini += eol + "[Names]" + eol;
  for (const LocalBookName& book : books)
    ini += book.code + "=" + IniText(book.full_name, false) + eol;
  ini += eol + "[Abbreviations]" + eol;
  for (const LocalBookName& book : books) {
    for (const std::string& spelling : book.abbreviations) {
      const std::string key = IniText(spelling, true);
      // A line starting with ";" or "[" would read as a comment or a section.
      if (!key.empty() && key.front() != ';' && key.front() != '[')
        ini += key + "=" + book.code + eol;
    }
  }
  return ini;
}

}  // namespace vellum::import
