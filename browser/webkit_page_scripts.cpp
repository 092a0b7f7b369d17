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
  return "(function (a) { if (a) a.scrollIntoView(true);"
         " if (window.vellumShow) window.vellumShow(); })(document.anchors[" +
         std::to_string(ordinal) + "]);";
}

}  // namespace vellum
