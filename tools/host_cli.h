// The command line of vellum-host, the stand-in host: parsing and the
// payloads it sends, the same on every platform.
//
//   vellum-host show CODE CHAPTER VERSE [--name NAME] [--reserved HEX]
//   vellum-host close | minimize
//   vellum-host send CODE [HEX]
//   vellum-host serve [--answer] [--hang] [--geometry WxH+X+Y] [--seconds N]
//   vellum-host wait [--timeout S]
//   vellum-host --help | --version
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/geometry.h"
#include "core/location.h"
#include "host/protocol.h"

namespace vellum::tools {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;     // no display, or the system failed
inline constexpr int kExitUsage = 2;     // the command line is wrong
inline constexpr int kExitNoViewer = 3;  // no viewer window (or time-out of wait)
inline constexpr int kExitNotTaken = 4;  // the viewer did not take the message in time
inline constexpr int kExitRefused = 5;   // the system would not deliver it (Windows: UIPI)

// How long the command-line sends wait for the viewer to take a message.
inline constexpr int kDeliveryTimeoutMs = 2000;
// serve --answer replies this long after a request.
inline constexpr int kAnswerDelayMs = 50;

struct SendCommand {
  std::uint32_t code = 0;
  std::string payload;
};

struct ServeCommand {
  bool answer = false;
  bool hang = false;
  Bounds geometry{100, 100, 800, 600};
  std::optional<double> seconds;
};

struct WaitCommand {
  double timeout_seconds = 10;
};

using HostCommand = std::variant<SendCommand, ServeCommand, WaitCommand>;

struct ParseResult {
  std::optional<HostCommand> command;
  std::string error;  // set when command is empty
};

ParseResult ParseHostCommand(const std::vector<std::string_view>& args);
// The synopsis, shown with every wrong command line; the help adds what each
// command does and the exit codes.
std::string HostUsage();
std::string HostHelp();

// "WxH+X+Y", e.g. 800x600+100+100 (offsets may be negative: 300x200+-50+10).
std::optional<Bounds> ParseGeometry(std::string_view text);
// Hexadecimal bytes, two digits each ("" is no bytes).
std::optional<std::string> ParseHex(std::string_view text);

// What a platform does with each kind of command; each returns the exit code.
struct HostCommandHandlers {
  std::function<int(const SendCommand&)> send;
  std::function<int(const WaitCommand&)> wait;
  std::function<int(const ServeCommand&)> serve;
};

// Parses the command line (argv[0] is the program) and runs its command;
// a wrong command line gives the usage and kExitUsage; nothing escapes.
int RunHostCommandLine(int argc, char** argv, const HostCommandHandlers& handlers);

// The exit code for a message sent to the viewer (no viewer: kExitNoViewer),
// with a line on standard error when it did not arrive.
int ReportDelivery(std::optional<host::SendStatus> status);

// The location a request of the form CODEchapter:verse names (ALP3:16), as a
// fresh record; nullopt for any other request text.
std::optional<TbcvRec> ParseLocationRequest(std::string_view text);

}  // namespace vellum::tools
