#include "tools/host_cli.h"

#include <gtest/gtest.h>

#include "host/protocol.h"

namespace vellum::tools {
namespace {

ParseResult Parse(std::vector<std::string_view> args) {
  return ParseHostCommand(args);
}

TEST(HostCli, ShowBuildsAFreshRecord) {
  const ParseResult r =
      Parse({"show", "ALP", "3", "-16", "--name", "Alphabet", "--reserved", "a1b2c3"});
  ASSERT_TRUE(r.command) << r.error;
  const auto& send = std::get<SendCommand>(*r.command);
  EXPECT_EQ(send.code, host::kShowLocation);
  const std::array<std::uint8_t, 16> expected = {5,   'A', 'l',  'p', 'h',  'a',  3,    'A',
                                                 'L', 'P', 0xA1, 3,   0xF0, 0xFF, 0xB2, 0xC3};
  EXPECT_EQ(send.payload, std::string(expected.begin(), expected.end()));
}

TEST(HostCli, CommandsAndTheirPayloads) {
  struct Case {
    std::vector<std::string_view> args;
    std::uint32_t code;
    std::string payload;
  } cases[] = {
      {{"close"}, host::kClose, std::string(16, '\0')},
      {{"minimize"}, host::kMinimize, std::string(16, '\0')},
      {{"send", "12"}, 12, ""},
      {{"send", "1", "0341"},
       1,
       "\x03"
       "A"},
      {{"send", "4294967295", "FF"}, 4294967295u, "\xFF"},
      {{"show", "idx", "0", "0"}, 1, std::string("\0\0\0\0\0\0\x03idx", 10) + std::string(6, '\0')},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.args);
    ASSERT_TRUE(r.command) << r.error;
    const auto& send = std::get<SendCommand>(*r.command);
    EXPECT_EQ(send.code, c.code);
    EXPECT_EQ(send.payload, c.payload);
  }
}

TEST(HostCli, ServeAndWaitOptions) {
  const ParseResult serve =
      Parse({"serve", "--answer", "--geometry", "300x200+-50+10", "--seconds", "2.5"});
  ASSERT_TRUE(serve.command) << serve.error;
  const auto& s = std::get<ServeCommand>(*serve.command);
  EXPECT_TRUE(s.answer);
  EXPECT_FALSE(s.hang);
  EXPECT_EQ(s.geometry, (Bounds{-50, 10, 300, 200}));
  EXPECT_EQ(s.seconds, 2.5);
  EXPECT_EQ(std::get<ServeCommand>(*Parse({"serve"}).command).geometry,
            (Bounds{100, 100, 800, 600}));
  EXPECT_EQ(std::get<WaitCommand>(*Parse({"wait", "--timeout", "3"}).command).timeout_seconds, 3);
}

TEST(HostCli, BadCommandLinesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string_view>> bad = {
      {},
      {"show"},
      {"show", "ALP", "256", "1"},
      {"show", "ALP", "1", "40000"},
      {"show", "ALP", "x", "1"},
      {"show", "ALP", "1", "1", "--reserved", "12345"},
      {"show", "ALP", "1", "1", "--name"},
      {"show", "ALP", "1", "1", "--colour", "red"},
      {"close", "now"},
      {"send"},
      {"send", "-1"},
      {"send", "1", "ABC"},
      {"send", "1", "GG"},
      {"serve", "--geometry", "800x600"},
      {"serve", "--seconds", "-1"},
      {"wait", "5"},
      {"jump"},
  };
  for (const auto& args : bad) {
    const ParseResult r = Parse(args);
    EXPECT_FALSE(r.command) << (args.empty() ? "(nothing)" : args[0]);
    EXPECT_FALSE(r.error.empty());
  }
}

TEST(HostCli, AnswerableRequests) {
  struct Case {
    std::string_view text;
    std::optional<std::string> caption;  // of the answered record (no name)
  } cases[] = {
      {"ALP3:16", " 3:16"},       {"BET2:-5", " 2:-5"},     {"A1:1", " 1:1"},
      {"ALPX1:1", std::nullopt},  {"3:16", std::nullopt},   {"ALP3", std::nullopt},
      {"ALP300:1", std::nullopt}, {"ALP1:x", std::nullopt}, {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto record = ParseLocationRequest(c.text);
    ASSERT_EQ(record.has_value(), c.caption.has_value()) << c.text;
    if (record) {
      EXPECT_EQ(LocationCaption(*record), *c.caption);
      EXPECT_EQ(LocationRequestText(*record), "BCV" + std::string(c.text));
    }
  }
}

}  // namespace
}  // namespace vellum::tools

namespace vellum::tools {
namespace {

TEST(HostCli, EachDeliveryOutcomeHasItsOwnExitCode) {
  const struct {
    std::optional<host::SendStatus> status;
    int code;
  } cases[] = {
      {std::nullopt, kExitNoViewer},
      {host::SendStatus::kTaken, kExitOk},
      {host::SendStatus::kTimedOut, kExitNotTaken},
      {host::SendStatus::kFailed, kExitNotTaken},
      // A send the system refuses (a viewer with more rights) is not a slow viewer.
      {host::SendStatus::kRefused, kExitRefused},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReportDelivery(c.status), c.code);
}

}  // namespace
}  // namespace vellum::tools
