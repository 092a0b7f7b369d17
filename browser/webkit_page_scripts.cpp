#include "browser/webkit_page_scripts.h"

#include <string_view>

namespace vellum {
namespace {

// The anchor names as one string: turning a large array into strings one
// element at a time through the JavaScriptCore API costs far more than one
// call into the page.
constexpr std::string_view kAnchorNames =
    "document.anchors.length + ':' + Array.from(document.anchors, function (a) {"
    " return encodeURIComponent(a.name); }).join(' ')";

// With the first state past "loading" come the page's anchor names (and how
// long reading them took), which saves the viewer asking for them behind the
// rest of the page's loading.
//
// A page expected at an anchor is loaded with that anchor as its fragment,
// so WebKit scrolls there as soon as the anchor is parsed and laid out. Until
// then the page is transparent, so that a large page is never seen at its
// top first and then jumping: it shows when it scrolls (WebKit reached the
// fragment), when this script has scrolled the first anchor of that name
// into view once the page is parsed (the anchor the viewer takes, where an
// element's id may have caught the fragment), or when the viewer scrolls.
// The names of such a page are read after the paint that follows (or after
// 100 ms, for a page not painted at all), so that reading them does not hold
// the anchor off the screen. Should the viewer not scroll at all (no anchor
// it can use), the page shows 300 ms after its names went.
constexpr std::string_view kReadyState = R"JS(
(function () {
  var expected = '@EXPECTED@', sent = false, waiting = false, veil = null;

  function hide() {
    var root = document.documentElement;
    if (veil || !root || !root.style) return;
    veil = { root: root, had: root.hasAttribute('style'),
             value: root.style.getPropertyValue('opacity'),
             priority: root.style.getPropertyPriority('opacity') };
    root.style.setProperty('opacity', '0', 'important');
  }
  function show() {
    if (!veil) return;
    var v = veil;
    veil = null;
    window.removeEventListener('scroll', show);
    try {
      if (v.value) v.root.style.setProperty('opacity', v.value, v.priority);
      else v.root.style.removeProperty('opacity');
      if (!v.had && !v.root.getAttribute('style')) v.root.removeAttribute('style');
    } catch (e) {}
  }
  window.vellumShow = show;
  if (expected) {
    try {
      if (document.documentElement) hide();
      else {
        var watch = new MutationObserver(function () {
          if (!document.documentElement) return;
          watch.disconnect();
          hide();
        });
        watch.observe(document, { childList: true });
      }
      window.addEventListener('scroll', show);
    } catch (e) {}
  }

  function post(took, names) {
    try {
      window.webkit.messageHandlers.vellumReady.postMessage(
        location.href + '\n' + document.readyState + '\n' + took + '\n' + names);
    } catch (e) {}
  }
  function sendNames() {
    if (sent) return;
    sent = true;
    waiting = false;
    var start = performance.now();
    var names = @NAMES@;
    post((performance.now() - start).toFixed(1), names);
    if (veil) setTimeout(show, 300);
  }
  function report() {
    if (waiting) return;
    if (document.readyState == 'loading' || sent) { post('', ''); return; }
    var target = expected ? Array.prototype.find.call(
      document.getElementsByName(expected), function (e) { return e.localName == 'a'; }) : null;
    if (!target) { sendNames(); return; }
    target.scrollIntoView(true);
    show();
    waiting = true;
    requestAnimationFrame(function () { setTimeout(sendNames, 0); });
    setTimeout(sendNames, 100);
  }
  report();
  document.addEventListener('readystatechange', report);
})();
)JS";

std::string Replaced(std::string_view text, std::string_view mark, std::string_view by) {
  std::string out(text);
  const std::size_t at = out.find(mark);
  if (at != std::string::npos) out.replace(at, mark.size(), by);
  return out;
}

}  // namespace

std::string TaggedAnchorNamesScript() {
  return "location.href + '\\n' + " + std::string(kAnchorNames);
}

std::string ReadyStateScript(const std::string& expected_anchor) {
  return Replaced(Replaced(kReadyState, "@EXPECTED@", expected_anchor), "@NAMES@", kAnchorNames);
}

std::string ThemeClassScript(bool dark) {
  const std::string on = dark ? "vellum-dark" : "vellum-light";
  const std::string off = dark ? "vellum-light" : "vellum-dark";
  return "(function () { function mark() { var r = document.documentElement;"
         " if (!r || !r.classList) return false; r.classList.remove('" +
         off + "'); r.classList.add('" + on +
         "'); return true; }"
         " if (!mark()) { var w = new MutationObserver(function () { if (mark()) w.disconnect(); "
         "});"
         " w.observe(document, { childList: true }); } })();";
}

std::string ScrollScript(int ordinal) {
  return "(function (a) { if (a) a.scrollIntoView(true); delete window.vellumFindPlace;"
         " if (window.vellumShow) window.vellumShow(); })(document.anchors[" +
         std::to_string(ordinal) + "]);";
}

std::string KeepFindPlaceScript() {
  return "if (!window.vellumFindPlace) window.vellumFindPlace = [scrollX, scrollY];";
}

std::string RestoreFindPlaceScript(bool forget) {
  return std::string("(function (p) { if (p) scrollTo(p[0], p[1]);") +
         (forget ? " delete window.vellumFindPlace;" : "") + " })(window.vellumFindPlace);";
}

std::string MatchPositionScript(const std::string& text) {
  // Counts the matches in the text before the selection's start, as the
  // engine's case-insensitive find would: the match selected is the next.
  return "(function (needle) {"
         " var s = getSelection(); if (!s.rangeCount || !document.body || !needle) return 0;"
         " var before = document.createRange(); before.setStart(document.body, 0);"
         " var at = s.getRangeAt(0); before.setEnd(at.startContainer, at.startOffset);"
         " var text = before.toString().toLowerCase(); needle = needle.toLowerCase();"
         " var n = 1; for (var i = text.indexOf(needle); i >= 0;"
         " i = text.indexOf(needle, i + needle.length)) n++;"
         " return n; })(" +
         JavaScriptString(text) + ")";
}

std::string ReadableMarksStyleSheet() {
  // Laid on as an author's sheet: the engine takes a mark's text colour
  // from author sheets only; !important keeps a page's rules from undoing
  // it. Black on yellow is 16:1, white on the selection's blue 6.4:1. The
  // blue is all but opaque on purpose: the engine lightens an opaque
  // selection colour by blending, which on a dark page comes out darker
  // and on a light one paler, and a colour with alpha it leaves alone.
  return std::string("::highlight(vellum-find) { color: ") + kFindMarkColours[0] +
         " !important; background-color: " + kFindMarkColours[1] +
         " !important; }\n"
         "::selection { color: #ffffff !important;"
         " background-color: rgba(42, 93, 176, 0.99) !important; }\n";
}

std::string MarkMatchesScript(const std::string& text, unsigned most) {
  // Within one text node each: the engine's own find also matches across
  // markup, where the mark is its own yellow.
  return "(function (needle, most) {"
         " if (!window.CSS || !CSS.highlights) return 0;"
         " CSS.highlights.delete('vellum-find'); if (!needle || !document.body) return 0;"
         " needle = needle.toLowerCase(); var marks = [];"
         " var walk = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT), node;"
         " while ((node = walk.nextNode()) && marks.length < most) {"
         "  var text = node.data.toLowerCase();"
         "  for (var i = text.indexOf(needle); i >= 0 && marks.length < most;"
         "   i = text.indexOf(needle, i + needle.length)) {"
         "   var r = new Range(); r.setStart(node, i); r.setEnd(node, i + needle.length);"
         "   marks.push(r); } }"
         " CSS.highlights.set('vellum-find', new Highlight(...marks)); return marks.length;"
         " })(" +
         JavaScriptString(text) + ", " + std::to_string(most) + ")";
}

std::string SelectionScript() {
  // Anchors come in document order; each is placed against the selection.
  // An anchor inside it with only blanks before it stands for its start.
  return "(function () {"
         " var s = getSelection(); if (!s.rangeCount || s.isCollapsed) return null;"
         " var r = s.getRangeAt(0), first = '', last = '', inside = '';"
         " var all = document.anchors;"
         " for (var i = 0; i < all.length; i++) {"
         "  var name = all[i].name; if (!/^CV[0-9]{6}/.test(name)) continue;"
         "  var where = r.comparePoint(all[i], 0);"
         "  if (where > 0) break;"
         "  if (where < 0) { first = name; last = name; continue; }"
         "  if (!inside) {"
         "   inside = name; var lead = document.createRange();"
         "   lead.setStart(r.startContainer, r.startOffset); lead.setEnd(all[i], 0);"
         "   if (!first || !/\\S/.test(lead.toString())) first = name; }"
         "  last = name; }"
         " return first + '\\n' + last + '\\n' + s.toString(); })()";
}

std::string JavaScriptString(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    // Quotes, backslashes, controls and "<", so that nothing ends the string
    // or a script element around it; bytes from 0x80 are UTF-8 and stay.
    if (byte < 0x20 || c == '"' || c == '\\' || c == '<' || c == '>' || byte == 0x7f) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  // U+2028 and U+2029 end lines in older engines' string literals.
  for (std::size_t at = 0; (at = out.find("\xE2\x80\xA8", at)) != std::string::npos;)
    out.replace(at, 3, "\\u2028");
  for (std::size_t at = 0; (at = out.find("\xE2\x80\xA9", at)) != std::string::npos;)
    out.replace(at, 3, "\\u2029");
  return out + "\"";
}

}  // namespace vellum
