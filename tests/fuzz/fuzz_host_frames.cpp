// The X11 transport's framing: the bytes another program appended to a
// property of our window. Decoding must stop at a frame that runs past the
// data or claims too much, keep every frame before it exactly, and agree
// with encoding both ways.
#include <string>

#include "host/protocol.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace vellum::host;

std::uint32_t U32At(std::string_view data, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + i])) << (8 * i);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const DecodedFrames decoded = DecodeFrames(bytes);

  // The frames decoded are the data's leading bytes, frame by frame.
  std::string again;
  for (const Message& message : decoded.messages) {
    VELLUM_FUZZ_CHECK(message.payload.size() <= kMaxPayload);
    again += EncodeFrame(message);
  }
  VELLUM_FUZZ_CHECK(bytes.starts_with(again));
  if (!decoded.malformed) {
    VELLUM_FUZZ_CHECK(again.size() == bytes.size());
  } else {
    // What is left is a frame that cannot be taken: a short header, or a
    // length beyond the limit or beyond the data.
    const std::string_view rest = bytes.substr(again.size());
    VELLUM_FUZZ_CHECK(!rest.empty());
    if (rest.size() >= kFrameHeaderSize) {
      const std::uint32_t length = U32At(rest, 8);
      VELLUM_FUZZ_CHECK(length > kMaxPayload || rest.size() - kFrameHeaderSize < length);
    }
  }

  // Requests: the text up to the first zero byte, and back.
  for (const Message& message : decoded.messages) {
    const std::string text = RequestText(message.payload);
    VELLUM_FUZZ_CHECK(text.find('\0') == std::string::npos);
    VELLUM_FUZZ_CHECK(message.payload.starts_with(text));
    VELLUM_FUZZ_CHECK(RequestText(RequestPayload(text)) == text);
    VELLUM_FUZZ_CHECK(RequestPayload(text).size() == text.size() + 1);
  }

  // Messages built from the input encode to frames that decode to them.
  vellum::fuzz::ByteReader input(data, size);
  std::vector<Message> sent;
  std::string stream;
  while (!input.Empty() && sent.size() < 8) {
    Message message;
    message.code = input.U32();
    message.sender = input.U32();
    message.payload = input.Text();
    stream += EncodeFrame(message);
    sent.push_back(std::move(message));
  }
  const DecodedFrames round = DecodeFrames(stream);
  VELLUM_FUZZ_CHECK(!round.malformed && round.messages == sent);
  // A stream cut anywhere keeps the whole frames before the cut.
  if (!stream.empty()) {
    const std::size_t cut = size % stream.size();
    const DecodedFrames partial = DecodeFrames(std::string_view(stream).substr(0, cut));
    VELLUM_FUZZ_CHECK(partial.messages.size() <= sent.size());
    for (std::size_t i = 0; i < partial.messages.size(); ++i)
      VELLUM_FUZZ_CHECK(partial.messages[i] == sent[i]);
  }
  return 0;
}
