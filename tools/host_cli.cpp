#include "tools/host_cli.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>

#include "host/protocol.h"
#include "vellum_version.h"

namespace vellum::tools {
namespace {

template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

ParseResult Fail(std::string error) {
  return {std::nullopt, std::move(error)};
}

ParseResult ParseShow(const std::vector<std::string_view>& args) {
  if (args.size() < 4) return Fail("show needs CODE CHAPTER VERSE");
  const auto chapter = ParseNumber<int>(args[2]);
  const auto verse = ParseNumber<int>(args[3]);
  if (!chapter || *chapter < 0 || *chapter > 255) return Fail("CHAPTER must be 0 to 255");
  if (!verse || *verse < -32768 || *verse > 32767) return Fail("VERSE must be -32768 to 32767");
  TbcvRec record = EmptyLocation();
  SetCode(record, args[1]);
  record.chapter = static_cast<std::uint8_t>(*chapter);
  record.verse = static_cast<std::int16_t>(*verse);
  for (std::size_t i = 4; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return Fail(std::string(args[i]) + " needs a value");
    if (args[i] == "--name") {
      SetName(record, args[i + 1]);
    } else if (args[i] == "--reserved") {
      const auto bytes = ParseHex(args[i + 1]);
      if (!bytes || bytes->size() != 3) return Fail("--reserved takes 6 hexadecimal digits");
      record.reserved_a = static_cast<std::uint8_t>((*bytes)[0]);
      record.reserved_b[0] = static_cast<std::uint8_t>((*bytes)[1]);
      record.reserved_b[1] = static_cast<std::uint8_t>((*bytes)[2]);
    } else {
      return Fail("unknown option " + std::string(args[i]));
    }
  }
  const auto bytes = EncodeLocation(record);
  return {SendCommand{host::kShowLocation, std::string(bytes.begin(), bytes.end())}, {}};
}

ParseResult ParseServe(const std::vector<std::string_view>& args) {
  ServeCommand serve;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--answer") {
      serve.answer = true;
    } else if (args[i] == "--hang") {
      serve.hang = true;
    } else if (args[i] == "--geometry" && i + 1 < args.size()) {
      const auto geometry = ParseGeometry(args[++i]);
      if (!geometry) return Fail("--geometry takes WxH+X+Y");
      serve.geometry = *geometry;
    } else if (args[i] == "--seconds" && i + 1 < args.size()) {
      const auto seconds = ParseNumber<double>(args[++i]);
      if (!seconds || *seconds < 0) return Fail("--seconds takes a number of seconds");
      serve.seconds = *seconds;
    } else {
      return Fail("unknown serve option " + std::string(args[i]));
    }
  }
  return {serve, {}};
}

ParseResult ParseWait(const std::vector<std::string_view>& args) {
  WaitCommand wait;
  if (args.size() == 3 && args[1] == "--timeout") {
    const auto seconds = ParseNumber<double>(args[2]);
    if (!seconds || *seconds < 0) return Fail("--timeout takes a number of seconds");
    wait.timeout_seconds = *seconds;
  } else if (args.size() != 1) {
    return Fail("wait takes only --timeout S");
  }
  return {wait, {}};
}

}  // namespace

std::optional<Bounds> ParseGeometry(std::string_view text) {
  const std::size_t x = text.find('x');
  const std::size_t plus1 = text.find('+', x == std::string_view::npos ? 0 : x);
  const std::size_t plus2 = plus1 == std::string_view::npos ? plus1 : text.find('+', plus1 + 1);
  if (x == std::string_view::npos || plus1 == std::string_view::npos ||
      plus2 == std::string_view::npos) {
    return std::nullopt;
  }
  const auto w = ParseNumber<std::int32_t>(text.substr(0, x));
  const auto h = ParseNumber<std::int32_t>(text.substr(x + 1, plus1 - x - 1));
  const auto left = ParseNumber<std::int32_t>(text.substr(plus1 + 1, plus2 - plus1 - 1));
  const auto top = ParseNumber<std::int32_t>(text.substr(plus2 + 1));
  if (!w || !h || !left || !top || *w <= 0 || *h <= 0) return std::nullopt;
  return Bounds{*left, *top, *w, *h};
}

std::optional<std::string> ParseHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (ec != std::errc() || ptr != text.data() + i + 2) return std::nullopt;
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

ParseResult ParseHostCommand(const std::vector<std::string_view>& args) {
  if (args.empty()) return Fail("no command given");
  const std::string_view verb = args[0];
  if (verb == "show") return ParseShow(args);
  if (verb == "close" || verb == "minimize") {
    if (args.size() != 1) return Fail(std::string(verb) + " takes no arguments");
    const auto zero = EncodeLocation(EmptyLocation());
    return {SendCommand{verb == "close" ? host::kClose : host::kMinimize,
                        std::string(zero.begin(), zero.end())},
            {}};
  }
  if (verb == "send") {
    if (args.size() < 2 || args.size() > 3) return Fail("send needs CODE and optional HEX");
    const auto code = ParseNumber<std::uint32_t>(args[1]);
    if (!code) return Fail("CODE must be a number from 0 to 4294967295");
    const auto payload = args.size() == 3 ? ParseHex(args[2]) : std::optional<std::string>("");
    if (!payload) return Fail("HEX must be pairs of hexadecimal digits");
    return {SendCommand{*code, *payload}, {}};
  }
  if (verb == "serve") return ParseServe(args);
  if (verb == "wait") return ParseWait(args);
  return Fail("unknown command " + std::string(verb));
}

std::string HostUsage() {
  return "usage: vellum-host show CODE CHAPTER VERSE [--name NAME] [--reserved HEX]\n"
         "       vellum-host close | minimize\n"
         "       vellum-host send CODE [HEX]\n"
         "       vellum-host serve [--answer] [--hang] [--geometry WxH+X+Y] [--seconds N]\n"
         "       vellum-host wait [--timeout S]\n"
         "       vellum-host --help | --version\n";
}

std::string HostHelp() {
  return HostUsage() +
         "\n"
         "Plays the host program beside a running Vellum viewer, or sends it one message.\n"
         "\n"
         "  show      show a location: book CODE (e.g. ALP), CHAPTER, VERSE; --name sets the\n"
         "            record's name field, --reserved its three reserved bytes\n"
         "  close     close the viewer\n"
         "  minimize  minimize the viewer\n"
         "  send      send message CODE with the payload HEX (pairs of hexadecimal digits)\n"
         "  serve     open a host window and print each request of the viewer as\n"
         "            \"REQUEST text\"; --answer shows the requested location, --hang takes\n"
         "            no messages, --seconds ends it after N seconds\n"
         "  wait      wait until a viewer window exists (--timeout S, default 10)\n"
         "\n"
         "Exit codes: 0 done; 1 no display, or the system failed; 2 the command line is\n"
         "wrong; 3 no viewer window (or wait timed out); 4 the viewer did not take the\n"
         "message in time; 5 the system refused to deliver it.\n";
}

int RunHostCommandLine(int argc, char** argv, const HostCommandHandlers& handlers) {
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::printf("%s", HostHelp().c_str());
      return kExitOk;
    }
    if (args.size() == 1 && args[0] == "--version") {
      std::printf("vellum-host %s\n", kVersion);
      return kExitOk;
    }
    const ParseResult parsed = ParseHostCommand(args);
    if (!parsed.command) {
      std::fprintf(stderr, "vellum-host: %s\n%s", parsed.error.c_str(), HostUsage().c_str());
      return kExitUsage;
    }
    if (const auto* send = std::get_if<SendCommand>(&*parsed.command)) return handlers.send(*send);
    if (const auto* wait = std::get_if<WaitCommand>(&*parsed.command)) return handlers.wait(*wait);
    return handlers.serve(std::get<ServeCommand>(*parsed.command));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum-host: %s\n", error.what());
    return kExitError;
  }
}

int ReportDelivery(std::optional<host::SendStatus> status) {
  if (!status) {
    std::fprintf(stderr, "vellum-host: no viewer window\n");
    return kExitNoViewer;
  }
  switch (*status) {
    case host::SendStatus::kTaken:
      return kExitOk;
    case host::SendStatus::kTimedOut:
      std::fprintf(stderr, "vellum-host: the viewer did not take the message in time\n");
      return kExitNotTaken;
    case host::SendStatus::kRefused:
      std::fprintf(stderr,
                   "vellum-host: the system refused the message: the viewer runs with higher "
                   "rights than this program (start both the same way, or see "
                   "docs/host-protocol.md)\n");
      return kExitRefused;
    case host::SendStatus::kFailed:
      break;
  }
  std::fprintf(stderr, "vellum-host: the viewer window went away\n");
  return kExitNotTaken;
}

std::optional<TbcvRec> ParseLocationRequest(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && i < 3 && text[i] != ':' && !(text[i] >= '0' && text[i] <= '9'))
    ++i;
  if (i == 0) return std::nullopt;
  const std::string_view code = text.substr(0, i);
  const std::size_t colon = text.find(':', i);
  if (colon == std::string_view::npos) return std::nullopt;
  const auto chapter = ParseNumber<int>(text.substr(i, colon - i));
  const auto verse = ParseNumber<int>(text.substr(colon + 1));
  if (!chapter || *chapter < 0 || *chapter > 255) return std::nullopt;
  if (!verse || *verse < -32768 || *verse > 32767) return std::nullopt;
  TbcvRec record = EmptyLocation();
  SetCode(record, code);
  record.chapter = static_cast<std::uint8_t>(*chapter);
  record.verse = static_cast<std::int16_t>(*verse);
  return record;
}

}  // namespace vellum::tools
