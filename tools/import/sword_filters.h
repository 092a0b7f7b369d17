// Our render filters: the SWORD library's own XHTML filters for OSIS, ThML
// and GBF, with three changes for a book page. A scripture reference is
// marked with the places it points to (<vellum-ref to="GEN1:1 ...">), which
// the page sanitizer turns into cross-reference links; a note is shown
// inline, in brackets, where the library would put a marker linking to a
// note window that a page does not have; and the apparatus of word studies
// (Strong's numbers, morphology, lemmas, glosses) never becomes text. The
// library's own option filters take it out only in the forms they know and
// only where a module's configuration names them: "strong:G1519 G3588" loses
// its first number and keeps the second, which the XHTML filter then prints.
#pragma once

#include <gbfxhtml.h>
#include <osisxhtml.h>
#include <swbuf.h>
#include <thmlxhtml.h>
#include <versekey.h>

#include <string>
#include <string_view>
#include <vector>

namespace vellum::import {

// Turns a reference's target into request texts ("GEN1:1"), blank-separated:
// OSIS reference lists first, else the text as a free-form reference
// ("Ge 1:1-3; 2:4"), read in the module's versification with the entry's
// own place as context. Empty when nothing in it names a known book.
class ReferenceResolver {
 public:
  // References written out are read in the locale's book names, and in
  // English ones.
  ReferenceResolver(const char* versification, const std::string& locale);
  std::string Resolve(std::string_view target, const sword::SWKey* context);

 private:
  sword::VerseKey parser_;
};

// Shared by both filters: where each open reference began in the output,
// and its target.
class ReferenceMarks {
 public:
  explicit ReferenceMarks(ReferenceResolver& resolver) : resolver_(resolver) {}
  void Reset() { open_.clear(); }
  void Open(sword::SWBuf& buf, std::string target, bool from_text);
  void Close(sword::SWBuf& buf, const sword::SWKey* context);

 private:
  struct Mark {
    unsigned long start;  // where the reference's text begins in the output
    std::string target;
    bool from_text;  // no target given: the text is the reference
  };
  ReferenceResolver& resolver_;
  std::vector<Mark> open_;
};

// The library calls the filters back; nothing may be thrown through it. A
// filter that failed (out of memory) says so, and the entry is not used.
class OsisPageFilter final : public sword::OSISXHTML {
 public:
  explicit OsisPageFilter(ReferenceResolver& resolver) : marks_(resolver) {}
  bool Failed() const { return failed_; }
  char processText(sword::SWBuf& text, const sword::SWKey* key,
                   const sword::SWModule* module) override;

 protected:
  bool handleToken(sword::SWBuf& buf, const char* token,
                   sword::BasicFilterUserData* user_data) override;

 private:
  ReferenceMarks marks_;
  int note_depth_ = 0;
  bool failed_ = false;
};

class ThmlPageFilter final : public sword::ThMLXHTML {
 public:
  explicit ThmlPageFilter(ReferenceResolver& resolver) : marks_(resolver) {}
  bool Failed() const { return failed_; }
  char processText(sword::SWBuf& text, const sword::SWKey* key,
                   const sword::SWModule* module) override;

 protected:
  bool handleToken(sword::SWBuf& buf, const char* token,
                   sword::BasicFilterUserData* user_data) override;

 private:
  ReferenceMarks marks_;
  int note_depth_ = 0;
  bool failed_ = false;
};

class GbfPageFilter final : public sword::GBFXHTML {
 protected:
  bool handleToken(sword::SWBuf& buf, const char* token,
                   sword::BasicFilterUserData* user_data) override;
};

}  // namespace vellum::import
