// Parts of the Linux front end that need GLib but no window: the page-wait
// pump, the page's ready report and the desktop portal's colour scheme.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/gtk/colour_scheme_portal.h"
#include "app/gtk/ports_gtk.h"
#include "browser/webkit_browser_gtk.h"

namespace vellum {
namespace {

TEST(ColourSchemeOf, OnlyAUint32OneOrTwoSaysAnything) {
  // The value comes from another process on the bus.
  const struct {
    const char* text;  // GVariant text form
    ColourScheme scheme;
  } cases[] = {
      {"<<uint32 1>>", ColourScheme::kPreferDark},  // as Read gives it
      {"<uint32 2>", ColourScheme::kPreferLight},   // as ReadOne and SettingChanged do
      {"uint32 1", ColourScheme::kPreferDark},
      {"<uint32 0>", ColourScheme::kNoPreference},
      {"<uint32 7>", ColourScheme::kNoPreference},
      {"<int32 1>", ColourScheme::kNoPreference},
      {"<'dark'>", ColourScheme::kNoPreference},
      {"<(uint32 1,)>", ColourScheme::kNoPreference},
      {"<<<<<uint32 1>>>>>", ColourScheme::kNoPreference},  // wrapped beyond reason
  };
  for (const auto& c : cases) {
    GVariant* value = g_variant_parse(nullptr, c.text, nullptr, nullptr, nullptr);
    ASSERT_NE(value, nullptr) << c.text;
    g_variant_ref_sink(value);
    EXPECT_EQ(ColourSchemeOf(value), c.scheme) << c.text;
    g_variant_unref(value);
  }
  EXPECT_EQ(ColourSchemeOf(nullptr), ColourScheme::kNoPreference);
}

TEST(GlibPump, AHandlerThatFailsInsideTheWaitLeavesNoTimeoutBehind) {
  GlibPump pump;
  // An event handler that fails while the page wait turns the main loop. Its
  // failure must not leave the pump's wake-up behind, firing later into a
  // stack frame that is gone.
  g_idle_add([](gpointer) -> gboolean { throw std::runtime_error("handler failed"); }, nullptr);
  EXPECT_THROW(pump.ProcessMessages(PumpMode::kWait), std::runtime_error);
  g_usleep(30'000);  // past the wake-up's 10 ms
  EXPECT_FALSE(g_main_context_iteration(nullptr, FALSE)) << "a wake-up timeout was left behind";
}

TEST(GlibPump, AWaitEndsWithinItsWakeUpWhenNothingHappens) {
  GlibPump pump;
  const std::uint64_t start = pump.NowMs();
  pump.ProcessMessages(PumpMode::kWait);
  EXPECT_FALSE(g_main_context_iteration(nullptr, FALSE)) << "nothing of the pump's is left";
  EXPECT_GE(pump.NowMs() - start, 9u);
}

TEST(ReadyReport, TheDocumentsAddressTagsEveryReport) {
  const struct {
    const char* message;
    bool parsed;
    const char* address;
    const char* state;
    std::optional<std::string> names;
  } cases[] = {
      {"file:///lib/web.htm/alpha.htm\nloading\n\n", true, "file:///lib/web.htm/alpha.htm",
       "loading", std::nullopt},
      {"file:///a.htm#TOC\ninteractive\n1.5\n2:CV001001 top", true, "file:///a.htm#TOC",
       "interactive", "2:CV001001 top"},
      {"file:///a.htm\ncomplete\n\n", true, "file:///a.htm", "complete", std::nullopt},
      // Names may hold no newline, but a page can send anything: the rest of
      // the message is the names' text, which their own decoder judges.
      {"file:///a.htm\ninteractive\n0.1\n1:a\nb", true, "file:///a.htm", "interactive", "1:a\nb"},
      // The form of the messages before they were tagged: not taken.
      {"interactive\n1.0", false, "", "", std::nullopt},
      {"", false, "", "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const auto report = ParseReadyReport(c.message);
    ASSERT_EQ(report.has_value(), c.parsed);
    if (!report) continue;
    EXPECT_EQ(report->address, c.address);
    EXPECT_EQ(report->state, c.state);
    EXPECT_EQ(report->names, c.names);
  }
}

}  // namespace
}  // namespace vellum
