#include "core/english_books.h"

#include <array>

#include "core/text.h"

namespace vellum {
namespace {

// Spellings as common reference styles write them (SBL, Chicago, and the
// short forms of study Bibles), OSIS names among them.
constexpr std::array<EnglishBook, 84> kBooks = {{
    {"GEN", "Genesis", "Gen Ge Gn"},
    {"EXO", "Exodus", "Exod Exo Ex"},
    {"LEV", "Leviticus", "Lev Le Lv"},
    {"NUM", "Numbers", "Num Nu Nm Nb"},
    {"DEU", "Deuteronomy", "Deut Dt De"},
    {"JOS", "Joshua", "Josh Jos Jsh"},
    {"JDG", "Judges", "Judg Jdg Jg Jdgs"},
    {"RUT", "Ruth", "Rth Ru"},
    {"1SA", "1 Samuel", "1Sam 1Sa 1S 1Sm ISam"},
    {"2SA", "2 Samuel", "2Sam 2Sa 2S 2Sm IISam"},
    {"1KI", "1 Kings", "1Kgs 1Ki 1K 1Kin IKgs"},
    {"2KI", "2 Kings", "2Kgs 2Ki 2K 2Kin IIKgs"},
    {"1CH", "1 Chronicles", "1Chr 1Ch 1Chron"},
    {"2CH", "2 Chronicles", "2Chr 2Ch 2Chron"},
    {"EZR", "Ezra", "Ezr Ez"},
    {"NEH", "Nehemiah", "Neh Ne"},
    {"EST", "Esther", "Esth Est Es"},
    {"JOB", "Job", "Jb"},
    {"PSA", "Psalms", "Ps Psalm Psa Pss Psm Pslm"},
    {"PRO", "Proverbs", "Prov Pro Prv Pr"},
    {"ECC", "Ecclesiastes", "Eccl Ecc Eccles Ec Qoh"},
    {"SNG", "Song of Solomon", "Song Sng SOS Cant Canticles SongofSongs"},
    {"ISA", "Isaiah", "Isa Is"},
    {"JER", "Jeremiah", "Jer Je Jr"},
    {"LAM", "Lamentations", "Lam La"},
    {"EZK", "Ezekiel", "Ezek Eze Ezk"},
    {"DAN", "Daniel", "Dan Da Dn"},
    {"HOS", "Hosea", "Hos Ho"},
    {"JOL", "Joel", "Jl"},
    {"AMO", "Amos", "Am"},
    {"OBA", "Obadiah", "Obad Ob", true},
    {"JON", "Jonah", "Jnh Jon"},
    {"MIC", "Micah", "Mic Mc"},
    {"NAM", "Nahum", "Nah Na"},
    {"HAB", "Habakkuk", "Hab Hb"},
    {"ZEP", "Zephaniah", "Zeph Zep Zp"},
    {"HAG", "Haggai", "Hag Hg"},
    {"ZEC", "Zechariah", "Zech Zec Zc"},
    {"MAL", "Malachi", "Mal Ml"},
    {"MAT", "Matthew", "Matt Mat Mt"},
    {"MRK", "Mark", "Mrk Mar Mk Mr"},
    {"LUK", "Luke", "Luk Lk"},
    {"JHN", "John", "Jn Jhn Joh"},
    {"ACT", "Acts", "Act Ac"},
    {"ROM", "Romans", "Rom Ro Rm"},
    {"1CO", "1 Corinthians", "1Cor 1Co ICor"},
    {"2CO", "2 Corinthians", "2Cor 2Co IICor"},
    {"GAL", "Galatians", "Gal Ga"},
    {"EPH", "Ephesians", "Eph Ephes"},
    {"PHP", "Philippians", "Phil Php Pp"},
    {"COL", "Colossians", "Col"},
    {"1TH", "1 Thessalonians", "1Thess 1Th 1Thes IThess"},
    {"2TH", "2 Thessalonians", "2Thess 2Th 2Thes IIThess"},
    {"1TI", "1 Timothy", "1Tim 1Ti ITim"},
    {"2TI", "2 Timothy", "2Tim 2Ti IITim"},
    {"TIT", "Titus", "Tit Ti"},
    {"PHM", "Philemon", "Phlm Phm Philem Pm", true},
    {"HEB", "Hebrews", "Heb"},
    {"JAS", "James", "Jas Jm"},
    {"1PE", "1 Peter", "1Pet 1Pe 1Pt IPet"},
    {"2PE", "2 Peter", "2Pet 2Pe 2Pt IIPet"},
    {"1JN", "1 John", "1John 1Jn 1Jhn IJn"},
    {"2JN", "2 John", "2John 2Jn 2Jhn IIJn", true},
    {"3JN", "3 John", "3John 3Jn 3Jhn IIIJn", true},
    {"JUD", "Jude", "Jud Jd", true},
    {"REV", "Revelation", "Rev Re Rv Apocalypse Revelations"},
    {"TOB", "Tobit", "Tob Tb"},
    {"JDT", "Judith", "Jdt Jdth"},
    {"ESG", "Esther (Greek)", "AddEsth EsthGr AdEst"},
    {"WIS", "Wisdom of Solomon", "Wis Wisdom"},
    {"SIR", "Sirach", "Sir Ecclesiasticus Ecclus"},
    {"BAR", "Baruch", "Bar"},
    {"LJE", "Letter of Jeremiah", "EpJer LJe"},
    {"S3Y", "Prayer of Azariah", "PrAzar Azar"},
    {"SUS", "Susanna", "Sus"},
    {"BEL", "Bel and the Dragon", "Bel"},
    {"1MA", "1 Maccabees", "1Macc 1Mac 1Ma"},
    {"2MA", "2 Maccabees", "2Macc 2Mac 2Ma"},
    {"3MA", "3 Maccabees", "3Macc 3Mac 3Ma"},
    {"4MA", "4 Maccabees", "4Macc 4Mac 4Ma"},
    {"1ES", "1 Esdras", "1Esd 1Es"},
    {"2ES", "2 Esdras", "2Esd 2Es"},
    {"MAN", "Prayer of Manasseh", "PrMan Man", true},
    {"PS2", "Psalm 151", "AddPs Ps151", true},
}};

}  // namespace

std::span<const EnglishBook> EnglishBooks() {
  return kBooks;
}

std::string EnglishShortName(std::string_view code) {
  constexpr std::size_t kLength = 5;
  for (const EnglishBook& book : kBooks) {
    if (book.code != code) continue;
    if (book.name.size() <= kLength) return std::string(book.name);
    // The first spelling that fits, written as readers write it ("1 Cor").
    std::string_view rest = book.spellings;
    while (!rest.empty()) {
      const std::size_t blank = rest.find(' ');
      std::string_view spelling = rest.substr(0, blank);
      rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
      std::string shown(spelling);
      if (shown.size() > 1 && shown[0] >= '1' && shown[0] <= '4' && shown[1] != ' ')
        shown.insert(1, 1, ' ');
      if (shown.size() <= kLength) return shown;
    }
    return FirstCharacters(book.name, kLength);
  }
  return {};
}

}  // namespace vellum
