#include "tools/import/sword_filters.h"

#include <listkey.h>
#include <utilxml.h>

#include <cstring>

#include "tools/import/entry_html.h"
#include "tools/import/references.h"

namespace vellum::import {
namespace {

bool IsNamed(const sword::XMLTag& tag, const char* name) {
  return tag.getName() != nullptr && std::strcmp(tag.getName(), name) == 0;
}

std::string Attribute(const sword::XMLTag& tag, const char* name) {
  const char* value = tag.getAttribute(name);
  return value != nullptr ? value : "";
}

// The visible text of rendered markup: tags removed, character references
// for the few characters a reference may hold decoded.
std::string VisibleText(std::string_view html) {
  std::string text;
  bool in_tag = false;
  for (const char c : html) {
    if (c == '<') {
      in_tag = true;
    } else if (c == '>') {
      in_tag = false;
    } else if (!in_tag) {
      text += c;
    }
  }
  for (const auto& [entity, plain] :
       {std::pair{"&amp;", "&"}, std::pair{"&nbsp;", " "}, std::pair{"&#160;", " "}}) {
    for (std::size_t at = text.find(entity); at != std::string::npos;
         at = text.find(entity, at + 1))
      text.replace(at, std::strlen(entity), plain);
  }
  return text;
}

// Notes inline, in brackets: what the reader would find behind a marker.
bool HandleNote(const sword::XMLTag& tag, sword::SWBuf& buf, int& depth) {
  if (Attribute(tag, "type") == "x-strongsMarkup") return false;
  if (tag.isEmpty()) return true;
  if (!tag.isEndTag()) {
    buf += " <span class=\"note\">[";
    ++depth;
  } else if (depth > 0) {
    buf += "]</span>";
    --depth;
  }
  return true;
}

}  // namespace

ReferenceResolver::ReferenceResolver(const char* versification, const std::string& locale) {
  parser_.setVersificationSystem(versification);
  parser_.setLocale(locale.c_str());
  parser_.setIntros(true);
}

std::string ReferenceResolver::Resolve(std::string_view target, const sword::SWKey* context) {
  std::string joined;
  auto add = [&joined](const VerseRef& ref) {
    if (!joined.empty()) joined += ' ';
    joined += RequestText(ref);
  };
  if (const auto refs = ParseOsisRefList(target)) {
    for (const VerseRef& ref : *refs)
      add(ref);
    return joined;
  }
  const std::string text(target);
  const char* where = context != nullptr ? context->getText() : nullptr;
  sword::ListKey list = parser_.parseVerseList(text.c_str(), where, false, false);
  for (int i = 0; i < list.getCount() && i < 100; ++i) {
    const auto* element = dynamic_cast<const sword::VerseKey*>(list.getElement(i));
    if (element == nullptr) continue;
    const sword::VerseKey& first = element->isBoundSet() ? element->getLowerBound() : *element;
    const BookCode* book = FindOsisBook(first.getOSISBookName());
    if (book == nullptr || first.getBook() == 0) continue;
    const int chapter = first.getChapter();
    const int verse = first.getVerse();
    if (chapter < 0 || chapter > kMaxNumber || verse < 0 || verse > kMaxNumber) continue;
    add({std::string(book->usfm), chapter, verse});
  }
  return joined;
}

void ReferenceMarks::Open(sword::SWBuf& buf, std::string target, bool from_text) {
  open_.push_back({buf.length(), std::move(target), from_text});
}

void ReferenceMarks::Close(sword::SWBuf& buf, const sword::SWKey* context) {
  if (open_.empty()) return;
  const Mark mark = open_.back();
  open_.pop_back();
  if (mark.start > buf.length()) return;
  const std::string inner(buf.c_str() + mark.start, buf.length() - mark.start);
  const std::string to =
      resolver_.Resolve(mark.from_text ? VisibleText(inner) : mark.target, context);
  buf.setSize(mark.start);
  buf += ("<" + std::string(kRefElement) + " to=\"" + to + "\">").c_str();
  buf += inner.c_str();
  buf += ("</" + std::string(kRefElement) + ">").c_str();
}

char OsisPageFilter::processText(sword::SWBuf& text, const sword::SWKey* key,
                                 const sword::SWModule* module) {
  marks_.Reset();
  note_depth_ = 0;
  failed_ = false;
  try {
    return OSISXHTML::processText(text, key, module);
  } catch (...) {
    failed_ = true;
    return 0;
  }
}

bool OsisPageFilter::handleToken(sword::SWBuf& buf, const char* token,
                                 sword::BasicFilterUserData* user_data) try {
  const sword::XMLTag tag(token);
  // Text held back by the library (a divine name being gathered) goes its
  // own way; a reference there stays as the library renders it.
  if (!user_data->suspendTextPassThru) {
    if (IsNamed(tag, "reference")) {
      if (tag.isEmpty()) return true;
      if (!tag.isEndTag()) {
        const std::string target = Attribute(tag, "osisRef");
        marks_.Open(buf, target, target.empty());
      } else {
        marks_.Close(buf, user_data->key);
      }
      return true;
    }
    if (IsNamed(tag, "note") && HandleNote(tag, buf, note_depth_)) return true;
  }
  // A word's tags carry only its study apparatus; its text passes on its own.
  if (IsNamed(tag, "w")) return true;
  return OSISXHTML::handleToken(buf, token, user_data);
} catch (...) {
  failed_ = true;
  return true;
}

char ThmlPageFilter::processText(sword::SWBuf& text, const sword::SWKey* key,
                                 const sword::SWModule* module) {
  marks_.Reset();
  note_depth_ = 0;
  failed_ = false;
  try {
    return ThMLXHTML::processText(text, key, module);
  } catch (...) {
    failed_ = true;
    return 0;
  }
}

bool ThmlPageFilter::handleToken(sword::SWBuf& buf, const char* token,
                                 sword::BasicFilterUserData* user_data) try {
  const sword::XMLTag tag(token);
  if (!user_data->suspendTextPassThru) {
    if (IsNamed(tag, "scripRef") || IsNamed(tag, "scripref")) {
      if (tag.isEmpty()) return true;
      if (!tag.isEndTag()) {
        const std::string target = Attribute(tag, "passage");
        marks_.Open(buf, target, target.empty());
      } else {
        marks_.Close(buf, user_data->key);
      }
      return true;
    }
    if (IsNamed(tag, "note") && HandleNote(tag, buf, note_depth_)) return true;
  }
  // Strong's numbers and morphology; a dictionary word ("Dict") stays bold.
  if (IsNamed(tag, "sync") && Attribute(tag, "type") != "Dict") return true;
  return ThMLXHTML::handleToken(buf, token, user_data);
} catch (...) {
  failed_ = true;
  return true;
}

bool GbfPageFilter::handleToken(sword::SWBuf& buf, const char* token,
                                sword::BasicFilterUserData* user_data) try {
  // <WG...>, <WH...>: Strong's numbers; <WT...>: morphology.
  if (token != nullptr && token[0] == 'W' &&
      (token[1] == 'G' || token[1] == 'H' || token[1] == 'T'))
    return true;
  return GBFXHTML::handleToken(buf, token, user_data);
} catch (...) {
  return true;
}

}  // namespace vellum::import
