#include "host/protocol.h"

#include <gtest/gtest.h>

namespace vellum::host {
namespace {

TEST(HostProtocol, FramesCarryMessagesCompleteAndInOrder) {
  const std::vector<Message> burst = {
      {kShowLocation, 0x1234567,
       std::string("\x03"
                   "ALP",
                   4) +
           std::string(12, '\0')},
      {kRequest, 42, RequestPayload("BET2:5")},
      {kClose, 0, ""},
      {0xFFFFFFFFu, 0xFFFFFFFFu, std::string(3, '\xFF')},
  };
  std::string property;
  for (const Message& m : burst)
    property += EncodeFrame(m);
  const DecodedFrames decoded = DecodeFrames(property);
  EXPECT_FALSE(decoded.malformed);
  EXPECT_EQ(decoded.messages, burst);
}

TEST(HostProtocol, FrameLayoutIsLittleEndian) {
  EXPECT_EQ(EncodeFrame({2, 0x01020304, "ab"}),
            std::string("\x02\x00\x00\x00\x04\x03\x02\x01\x02\x00\x00\x00"
                        "ab",
                        14));
}

TEST(HostProtocol, MalformedDataKeepsWhatCameBefore) {
  const std::string good = EncodeFrame({kShowLocation, 1, "0123456789abcdef"});
  struct Case {
    const char* what;
    std::string data;
    std::size_t kept;
  } cases[] = {
      {"empty", "", 0},
      {"short header", good + std::string(5, '\0'), 1},
      {"payload past the end", good + EncodeFrame({1, 1, "0123"}).substr(0, 14), 1},
      {"length beyond the limit", std::string("\x01\0\0\0\0\0\0\0\xFF\xFF\xFF\x7F", 12) + good, 0},
  };
  for (const Case& c : cases) {
    const DecodedFrames decoded = DecodeFrames(c.data);
    EXPECT_EQ(decoded.messages.size(), c.kept) << c.what;
    EXPECT_EQ(decoded.malformed, !c.data.empty()) << c.what;
  }
}

TEST(HostProtocol, RequestTexts) {
  EXPECT_EQ(RequestPayload("XYZ3:16"), std::string("XYZ3:16\0", 8));
  EXPECT_EQ(RequestText(std::string("XYZ3:16\0junk", 12)), "XYZ3:16");
  EXPECT_EQ(RequestText("no zero byte"), "no zero byte");
  EXPECT_EQ(RequestText(""), "");
}

}  // namespace
}  // namespace vellum::host
