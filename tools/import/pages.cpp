#include "tools/import/pages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "core/ini_file.h"
#include "core/text.h"
#include "tools/import/entry_html.h"
#include "tools/import/expositions.h"
#include "tools/import/page_words.h"
#include "tools/import/references.h"

namespace vellum::import {
namespace {

// The last verse an entry may mark, where nothing after it in its chapter
// says otherwise.
constexpr int kAnyVerse = 999;

constexpr std::string_view kBaseCss =
    "body { font-family: Georgia, serif; margin: 1em 1.5em; line-height: 1.45; }\n"
    ".b { content-visibility: auto; }\n"
    "h2.c { font-size: 1.15em; margin-top: 1.4em; }\n"
    "h3.r { font-size: 1em; color: #7a1f1f; margin: 1.2em 0 0.3em; }\n"
    "sup.v { color: #7a1f1f; margin: 0 0.2em; }\n"
    "a.x { color: #1f4f9a; }\n"
    ".note { font-size: 0.9em; color: #555; }\n"
    // Dark where the reader's system prefers it, unless the viewer marks the
    // page light; dark whenever the viewer marks it so (the Windows viewer's
    // engine knows no prefers-color-scheme, but takes the mark).
    "@media (prefers-color-scheme: dark) {\n"
    "html:not(.vellum-light) { color-scheme: dark; background: #1c1b19; color: #e2ddd3; }\n"
    "html:not(.vellum-light) h3.r, html:not(.vellum-light) sup.v { color: #e08c7a; }\n"
    "html:not(.vellum-light) a { color: #8fb3ea; }\n"
    "html:not(.vellum-light) .note { color: #a9a39a; }\n"
    "}\n"
    "html.vellum-dark { color-scheme: dark; background: #1c1b19; color: #e2ddd3; }\n"
    "html.vellum-dark h3.r, html.vellum-dark sup.v { color: #e08c7a; }\n"
    "html.vellum-dark a { color: #8fb3ea; }\n"
    "html.vellum-dark .note { color: #a9a39a; }\n";

// A font name as a quoted CSS string: only characters that cannot end it.
std::string FontFamily(std::string_view font) {
  std::string clean;
  for (const char c : font) {
    if (c != '"' && c != '\\' && c != '<' && c != '>' && c != ';' && c != '{' && c != '}' &&
        static_cast<unsigned char>(c) >= 0x20)
      clean += c;
  }
  return clean.empty() ? std::string() : "\"" + clean + "\", ";
}

std::string Head(std::string_view title, const PageStyle& style) {
  std::string css(kBaseCss);
  if (!style.font.empty())
    css += "body { font-family: " + FontFamily(style.font) + "Georgia, serif; }\n";
  // The library's own sheet is ours to trust, but it must not end the
  // style element.
  std::string library = style.library_css;
  for (std::size_t at = library.find("</"); at != std::string::npos; at = library.find("</"))
    library.replace(at, 2, "< /");
  css += library;
  std::string lang;
  for (const char c : style.language) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')
      lang += c;
  }
  return "<!DOCTYPE html>\n<html" + (lang.empty() ? std::string() : " lang=\"" + lang + "\"") +
         (style.right_to_left ? " dir=\"rtl\"" : "") +
         ">\n<head>\n<meta charset=\"utf-8\">\n<title>" + EscapeHtmlText(title) +
         "</title>\n<style>\n" + css + "</style>\n</head>\n<body>\n";
}

// Where an entry stands, as its heading shows it.
std::string PlaceText(int chapter, int verse, int last_verse, const PageWords& words) {
  if (chapter == 0) return std::string(words.introduction);
  if (verse == 0) return std::string(words.chapter) + " " + std::to_string(chapter);
  std::string text = std::to_string(chapter) + ":" + std::to_string(verse);
  if (last_verse > verse) text += "-" + std::to_string(last_verse);
  return text;
}

}  // namespace

std::string AnchorName(int chapter, int verse) {
  char name[16];
  std::snprintf(name, sizeof name, "CV%03d%03d", std::clamp(chapter, 0, 999),
                std::clamp(verse, 0, 999));
  return name;
}

BookPage::BookPage(std::string title, bool bible, PageStyle style)
    : title_(std::move(title)), bible_(bible), style_(std::move(style)) {}

void BookPage::Add(int chapter, int verse, int last_verse, std::string_view html) {
  // Known at once, though a commentary's entry is written only when the next
  // one comes: the index links to it before the page is finished.
  if (first_chapter_ == 0 && chapter > 0) first_chapter_ = chapter;
  if (bible_) {
    Write(chapter, verse, last_verse, html);
    return;
  }
  if (pending_) WritePending(chapter == pending_->chapter ? verse - 1 : kAnyVerse);
  pending_ = Pending{chapter, verse, last_verse, std::string(html)};
}

void BookPage::WritePending(int upper_verse) {
  if (!pending_) return;
  Pending entry = std::move(*pending_);
  pending_.reset();
  // Its own range says how far it reaches, where it gives one.
  const int last = entry.last_verse > entry.verse ? entry.last_verse : upper_verse;
  Write(entry.chapter, entry.verse, entry.last_verse,
        entry.verse > 0 ? AnchorExpositions(entry.html, entry.chapter, entry.verse, last)
                        : entry.html);
}

void BookPage::Write(int chapter, int verse, int last_verse, std::string_view html) {
  const bool new_chapter = chapter != block_chapter_;
  if (!block_.empty() && (new_chapter || block_.size() >= kBlockBytes)) CloseBlock();
  block_chapter_ = chapter;

  const PageWords& words = WordsFor(style_.language);
  std::string anchor = "<a name=\"" + AnchorName(chapter, verse) + "\"></a>";
  // A chapter's start has an anchor of its own (verse 0), so that the top of
  // a chapter is found exactly rather than by the anchor before it, which
  // is the previous chapter's end.
  const bool chapter_start = new_chapter && chapter > 0;
  const std::string start_anchor =
      chapter_start && verse > 0 ? "<a name=\"" + AnchorName(chapter, 0) + "\"></a>" : "";
  std::string entry;
  if (bible_) {
    if (chapter_start) {
      // Scrolled to, the heading's line is at the top.
      entry += "<h2 class=\"c\">" + (verse > 0 ? start_anchor : anchor) +
               EscapeHtmlText(words.chapter) + " " + std::to_string(chapter) + "</h2>\n";
      if (verse == 0) anchor.clear();
    }
    entry += anchor;
    if (verse > 0) entry += "<sup class=\"v\">" + std::to_string(verse) + "</sup>";
    entry += "<span class=\"e\">" + std::string(html) + "</span>\n";
  } else {
    // The anchor inside the heading: scrolled to, the heading's line is at
    // the top (an anchor before a block lands above its margin).
    entry += "<h3 class=\"r\">" + start_anchor + anchor +
             EscapeHtmlText(PlaceText(chapter, verse, last_verse, words)) +
             "</h3>\n<div class=\"e\">" + std::string(html) + "</div>\n";
  }
  block_ += entry;
  block_text_ += html.size();
  ++block_entries_;
  ++entries_;
}

void BookPage::CloseBlock() {
  // The height the block is taken to have until it is first laid out: lines
  // of about 70 characters, 23 pixels each, as in the viewer's narrow window,
  // and a heading per entry. "auto" lets the browser remember the real height
  // once it has seen the block.
  const std::size_t height = block_entries_ * 40 + block_text_ * 23 / 70;
  body_ += "<div class=\"b\" style=\"contain-intrinsic-size: auto " + std::to_string(height) +
           "px;\">\n" + block_ + "</div>\n";
  block_.clear();
  block_text_ = 0;
  block_entries_ = 0;
  ++blocks_;
}

std::string BookPage::Finish() {
  WritePending(kAnyVerse);
  if (!block_.empty()) CloseBlock();
  return Head(title_, style_) + "<h1>" + EscapeHtmlText(title_) + "</h1>\n" + body_ +
         "</body>\n</html>\n";
}

std::string RtfToHtml(std::string_view rtf) {
  std::string text;
  std::size_t i = 0;
  while (i < rtf.size()) {
    const char c = rtf[i];
    if (c == '{' || c == '}') {
      ++i;
    } else if (c != '\\') {
      text += c;
      ++i;
    } else if (i + 1 < rtf.size() &&
               (rtf[i + 1] == '\\' || rtf[i + 1] == '{' || rtf[i + 1] == '}')) {
      text += rtf[i + 1];
      i += 2;
    } else {
      std::size_t end = i + 1;
      while (end < rtf.size() &&
             ((rtf[end] >= 'a' && rtf[end] <= 'z') || (rtf[end] >= 'A' && rtf[end] <= 'Z')))
        ++end;
      const std::string_view word = rtf.substr(i + 1, end - i - 1);
      if (word == "par" || word == "line") text += '\n';
      // \u1234? is a character by its number, then a stand-in to skip.
      if (word == "u") {
        std::size_t digits = end;
        while (digits < rtf.size() &&
               (std::isdigit(static_cast<unsigned char>(rtf[digits])) || rtf[digits] == '-'))
          ++digits;
        long code = std::strtol(std::string(rtf.substr(end, digits - end)).c_str(), nullptr, 10);
        if (code < 0) code += 65536;
        if (code > 0 && code < 0x110000 && (code < 0xD800 || code > 0xDFFF))
          text += EncodeUtf8(std::u32string(1, static_cast<char32_t>(code)));
        end = digits < rtf.size() && rtf[digits] == '?' ? digits + 1 : digits;
      } else if (end < rtf.size() && rtf[end] == ' ') {
        ++end;  // the blank that ends a control word belongs to it
      }
      i = std::max(end, i + 1);
    }
  }
  std::string html;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string paragraph = text.substr(start, end - start);
    if (paragraph.find_first_not_of(" \t") != std::string::npos)
      html += "<p>" + EscapeHtmlText(paragraph) + "</p>\n";
    start = end + 1;
  }
  return html;
}

std::string IndexPage(const IndexContent& index, const PageStyle& style) {
  const PageWords& words = WordsFor(style.language);
  const std::string_view kind = index.kind == "Bible"        ? words.bible
                                : index.kind == "Commentary" ? words.commentary
                                                             : std::string_view(index.kind);
  std::string page = Head(index.title, style);
  page += "<a name=\"TOC\"></a>\n<h1>" + EscapeHtmlText(index.title) + "</h1>\n";
  page += "<p>" + EscapeHtmlText(kind) + " &ldquo;" + EscapeHtmlText(index.name) + "&rdquo;, " +
          EscapeHtmlText(words.from_module) + ".</p>\n";
  page += "<h2>" + EscapeHtmlText(words.books) + "</h2>\n<ul>\n";
  for (const IndexContent::Book& book : index.books) {
    const std::string target = book.code + std::to_string(std::max(book.first_chapter, 1)) + ":1";
    page += "<li><a class=\"x\" href=\"" + PageFileName(book.code) + "$BCV" + target + "\">" +
            EscapeHtmlText(book.title) + "</a></li>\n";
  }
  page += "</ul>\n";
  if (!index.introductions.empty())
    page += "<h2>" + EscapeHtmlText(words.introduction) + "</h2>\n<div>" + index.introductions +
            "</div>\n";
  if (!index.about_rtf.empty())
    page += "<h2>" + EscapeHtmlText(words.about) + "</h2>\n" + RtfToHtml(index.about_rtf);
  if (!index.licence.empty()) {
    page += "<h2>" + EscapeHtmlText(words.licence) + "</h2>\n<dl>\n";
    for (const auto& [key, value] : index.licence)
      page += "<dt>" + EscapeHtmlText(key) + "</dt><dd>" + EscapeHtmlText(value) + "</dd>\n";
    page += "</dl>\n";
  }
  return page + "</body>\n</html>\n";
}

namespace {

std::string IniValue(std::string_view text) {
  std::string clean;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) clean += c;
  }
  return clean;
}

}  // namespace

std::string CatalogueIni(std::string_view short_name, const std::vector<std::string>& codes,
                         std::string_view module, std::string_view version) {
  std::string ini = "[INFO]\r\nShortName=" + IniValue(short_name) + "\r\n";
  if (!module.empty()) ini += "Module=" + IniValue(module) + "\r\n";
  if (!version.empty()) ini += "Version=" + IniValue(version) + "\r\n";
  ini += "\r\n[Bookfiles]\r\nIDX=index.htm\r\n";
  for (const std::string& code : codes)
    ini += code + "=" + PageFileName(code) + "\r\n";
  return ini;
}

int CompareVersions(std::string_view a, std::string_view b) {
  while (!a.empty() || !b.empty()) {
    const auto part = [](std::string_view& text) {
      const std::size_t dot = text.find('.');
      const std::string_view piece = text.substr(0, dot);
      text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
      long value = 0;
      for (const char c : piece) {
        if (c < '0' || c > '9') return 0L;
        value = std::min(value * 10 + (c - '0'), 1'000'000'000L);
      }
      return value;
    };
    const long left = part(a);
    const long right = part(b);
    if (left != right) return left < right ? -1 : 1;
  }
  return 0;
}

std::string ImportedState(bool library_there, std::string_view library_version,
                          std::string_view installed_version) {
  if (!library_there) return {};
  if (!installed_version.empty() && CompareVersions(library_version, installed_version) < 0) {
    return "imported, " + std::string(library_version.empty() ? "an older one" : library_version) +
           " (installed: " + std::string(installed_version) + ")";
  }
  return "imported";
}

std::string ProgressLine(std::string_view book, int book_number, int book_count, int percent,
                         int entries, std::size_t bytes) {
  char text[160];
  std::snprintf(text, sizeof text, " (book %d of %d), %d%%: %d entries, %.1f MB", book_number,
                book_count, std::clamp(percent, 0, 100), entries, static_cast<double>(bytes) / 1e6);
  return std::string(book) + text;
}

}  // namespace vellum::import
