// The host protocol, whatever carries it: window identities, message codes,
// payloads, and the framing the X11 transport uses to carry Windows-style
// copy-data messages in a window property.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::host {

// The viewer: found by window class and title. The host: by class alone.
inline constexpr std::string_view kViewerClass = "TfrmHView";
inline constexpr std::string_view kViewerTitle = "Vellum";
inline constexpr std::string_view kHostClass = "TFrmORUmain";

// Host to viewer: show a location (one 16-byte record), close, minimize.
// Viewer to host: a request text followed by a zero byte.
inline constexpr std::uint32_t kShowLocation = 1;
inline constexpr std::uint32_t kRequest = 2;
inline constexpr std::uint32_t kClose = 10;
inline constexpr std::uint32_t kMinimize = 11;

// How long a sender waits for the receiver to take a message.
inline constexpr int kRequestTimeoutMs = 100;

// One copy-data message: its code (dwData), the sending window (wParam) and
// its bytes (lpData, cbData).
struct Message {
  std::uint32_t code = 0;
  std::uint32_t sender = 0;
  std::string payload;
  friend bool operator==(const Message&, const Message&) = default;
};

// What became of a message sent with a time limit.
// kRefused: the system would not deliver the message at all (on Windows, a
// receiver running at a higher integrity level that does not let it in).
enum class SendStatus { kTaken, kTimedOut, kFailed, kRefused };

// A request's payload: the text and one zero byte.
std::string RequestPayload(std::string_view text);
// The text of a request payload: up to its first zero byte, or all of it.
std::string RequestText(std::string_view payload);

// X11 framing: each message is 12 bytes of header (code, sender, payload
// length, each 32-bit little-endian) followed by the payload. Messages are
// appended to one property of the receiver's window, so a burst arrives
// complete and in order.
inline constexpr std::size_t kFrameHeaderSize = 12;
inline constexpr std::uint32_t kMaxPayload = 1u << 20;
std::string EncodeFrame(const Message& message);

struct DecodedFrames {
  std::vector<Message> messages;
  bool malformed = false;  // a frame ran past the data or claimed too much
};
// Decodes the frames in order; a frame that runs past the end of the data,
// or claims more than kMaxPayload bytes, ends the decoding.
DecodedFrames DecodeFrames(std::string_view data);

}  // namespace vellum::host
