#include "host/protocol.h"

namespace vellum::host {
namespace {

void PutU32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

std::uint32_t GetU32(std::string_view data, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + i])) << (8 * i);
  }
  return value;
}

}  // namespace

std::string RequestPayload(std::string_view text) {
  std::string payload(text);
  payload.push_back('\0');
  return payload;
}

std::string RequestText(std::string_view payload) {
  return std::string(payload.substr(0, payload.find('\0')));
}

std::string EncodeFrame(const Message& message) {
  std::string frame;
  frame.reserve(kFrameHeaderSize + message.payload.size());
  PutU32(frame, message.code);
  PutU32(frame, message.sender);
  PutU32(frame, static_cast<std::uint32_t>(message.payload.size()));
  frame += message.payload;
  return frame;
}

DecodedFrames DecodeFrames(std::string_view data) {
  DecodedFrames result;
  std::size_t at = 0;
  while (at < data.size()) {
    if (data.size() - at < kFrameHeaderSize) {
      result.malformed = true;
      break;
    }
    const std::uint32_t length = GetU32(data, at + 8);
    if (length > kMaxPayload || data.size() - at - kFrameHeaderSize < length) {
      result.malformed = true;
      break;
    }
    result.messages.push_back({GetU32(data, at), GetU32(data, at + 4),
                               std::string(data.substr(at + kFrameHeaderSize, length))});
    at += kFrameHeaderSize + length;
  }
  return result;
}

}  // namespace vellum::host
