#include "tests/core/viewer_harness.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vellum::testing {

std::vector<std::string> VerseAnchors(int chapters, int verses) {
  std::vector<std::string> names = {"top"};
  for (int c = 1; c <= chapters; ++c) {
    for (int v = 1; v <= verses; ++v) {
      char name[32];
      std::snprintf(name, sizeof name, "CV%03d%03d", c, v);
      names.emplace_back(name);
    }
  }
  return names;
}

namespace {

std::string WithoutFragment(const std::string& url) {
  return url.substr(0, url.find('#'));
}

}  // namespace

TbcvRec Loc(std::string_view code, int chapter, int verse, std::string_view name) {
  TbcvRec r = EmptyLocation();
  SetName(r, name);
  SetCode(r, code);
  r.chapter = static_cast<std::uint8_t>(chapter);
  r.verse = static_cast<std::int16_t>(verse);
  return r;
}

// ---- FakeBrowser ----

const FakePage& FakeBrowser::Current() const {
  static const FakePage kBlank{{}, 1, false, false};
  const auto it = pages.find(current_url);
  return it == pages.end() ? kBlank : it->second;
}

bool FakeBrowser::Navigate(const std::string& url) {
  // Like a real browser's, the expected anchor holds for this navigation only.
  const std::string expected_anchor = std::exchange(expected_anchor_, std::string());
  if (refuse_navigation) return false;
  // Like the real control, every navigation asks the viewer first.
  if (harness_.viewer.OnBeforeNavigate(url)) {
    cancelled.push_back(url);
    return true;
  }
  navigations.push_back(url);
  expected.push_back(expected_anchor);
  current_url = WithoutFragment(url);
  const FakePage& page = Current();
  pumps_left_ = page.load_pumps;
  status_ = PageStatus::kLoading;
  if (pumps_left_ <= 0 && !page.hangs)
    status_ = page.fails ? PageStatus::kFailed : PageStatus::kInteractive;
  return true;
}

bool FakeBrowser::ShowHtml(const std::string& html) {
  expected_anchor_.clear();
  if (refuse_navigation) return false;
  // A page made in memory is loaded over a blank document, which the viewer
  // is asked about like any other.
  if (harness_.viewer.OnBeforeNavigate("about:blank")) {
    cancelled.push_back("about:blank");
    return true;
  }
  navigations.push_back("(own page)");
  expected.emplace_back();
  own_pages.push_back(html);
  current_url = "about:blank";
  pumps_left_ = Current().load_pumps;
  status_ = pumps_left_ <= 0 ? PageStatus::kInteractive : PageStatus::kLoading;
  return true;
}

void FakeBrowser::OnPump() {
  const FakePage& page = Current();
  if (status_ != PageStatus::kLoading || page.hangs) return;
  if (--pumps_left_ <= 0) status_ = page.fails ? PageStatus::kFailed : PageStatus::kInteractive;
}

PageStatus FakeBrowser::Status() {
  return status_;
}

std::optional<std::vector<std::string>> FakeBrowser::AnchorNames() {
  ++anchor_reads;
  if (throw_on_anchor_read) throw std::runtime_error("page object call failed");
  if (fail_anchor_reads) return std::nullopt;
  return Current().anchors;
}

std::optional<int> FakeBrowser::AnchorCount() {
  if (fail_anchor_reads) return std::nullopt;
  return static_cast<int>(Current().anchors.size());
}

bool FakeBrowser::ScrollIntoView(int ordinal) {
  scrolls.push_back({current_url, ordinal});
  return ordinal >= 0 && ordinal < static_cast<int>(Current().anchors.size());
}

// ---- FakeControls ----

void FakeControls::CloseWindow() {
  ++close_requests;
  if (harness_.viewer.OnClosing()) window_closed = true;
}

// ---- FakeTimers ----

void FakeTimers::Start(TimerId id, int interval_ms) {
  due_[id] = {now + static_cast<std::uint64_t>(interval_ms), interval_ms};
}

std::optional<TimerId> FakeTimers::NextDue(std::uint64_t until) const {
  std::optional<TimerId> next;
  std::uint64_t best = until + 1;
  for (const auto& [id, due] : due_) {
    if (due.at < best) {
      best = due.at;
      next = id;
    }
  }
  return next;
}

void FakeTimers::Fired(TimerId id) {
  Due& due = due_.at(id);
  now = std::max(now, due.at);
  ticks.emplace_back(now, id);
  due.at += static_cast<std::uint64_t>(due.interval);
}

// ---- FakePump ----

void FakePump::ProcessMessages(PumpMode mode) {
  ++runs;
  harness_.DeliverQueued();
  if (mode == PumpMode::kWait) {
    ++waits;
    harness_.browser.OnPump();
    harness_.FireDueTimers(harness_.timers.now + kPumpStepMs);
  } else {
    harness_.FireDueTimers(harness_.timers.now);
  }
}

std::uint64_t FakePump::NowMs() {
  return harness_.timers.now;
}

// ---- Harness ----

Harness::Harness() {
  fs.subfolders = {{"web.htm"}};
  fs.files["C:\\Program\\web.htm\\index.ini"] =
      "[INFO]\r\nShortName=Std\r\n[Bookfiles]\r\nIDX=index.htm\r\nALP=alpha.htm\r\n"
      "BET=beta.htm\r\nGAM=gamma.htm\r\nMIS=missing.htm\r\n";
  fs.files["C:\\Program\\books.ini"] = "[BKA]\r\nALP=Alphabet\r\nBET=Beta\r\nGAM=Gamma\r\n";
  for (const char* file : {"index.htm", "alpha.htm", "beta.htm", "gamma.htm"}) {
    fs.files[Path(file)] = "<html></html>";
  }
  fs.files[AboutPath()] = "<html></html>";
  browser.pages[Path("index.htm")] = {{"top", "TOC"}};
  browser.pages[Path("alpha.htm")] = {VerseAnchors(3, 10)};
  browser.pages[Path("beta.htm")] = {VerseAnchors(2, 5)};
  browser.pages[Path("gamma.htm")] = {VerseAnchors(2, 5)};
  browser.pages[AboutPath()] = {{"top"}};
}

void Harness::Start(const StartOptions& options) {
  viewer.OnStart(options);
}

void Harness::FireDueTimers(std::uint64_t until) {
  while (const auto id = timers.NextDue(until)) {
    timers.Fired(*id);
    viewer.OnTimer(*id);
  }
  timers.now = std::max(timers.now, until);
}

void Harness::Advance(std::uint64_t ms) {
  FireDueTimers(timers.now + ms);
}

void Harness::AtPump(int n, std::function<void()> fn) {
  queued_.push_back({pump.runs + n, std::move(fn)});
}

void Harness::DeliverQueued() {
  for (auto it = queued_.begin(); it != queued_.end(); ++it) {
    if (it->at_run <= pump.runs) {
      const std::function<void()> fn = std::move(it->fn);
      queued_.erase(it);
      fn();
      return DeliverQueued();
    }
  }
}

void Harness::HostSends(std::uint32_t code, const TbcvRec& location) {
  const auto bytes = EncodeLocation(location);
  viewer.ReceiveHostMessage(code, bytes.data(), bytes.size());
}

void Harness::ShowNow(const TbcvRec& location) {
  HostShows(location);
  Advance(250);
}

void Harness::Dwell(const TbcvRec& location) {
  ShowNow(location);
  Advance(1000);
}

std::vector<std::string> Harness::HistoryTexts() const {
  std::vector<std::string> texts;
  const History& history = viewer.HistoryList();
  for (int i = 0; i < history.Count(); ++i)
    texts.push_back(history.TextAt(i));
  return texts;
}

}  // namespace vellum::testing
