#include "polling/modbus_tcp.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace rtupoll::modbus {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ModbusTcp, EncodesAReadRequestBigEndian) {
  EXPECT_EQ(encodeReadRequest(0, 0, 10), (Request{0, 0, 0, 0, 0, 6, 1, 3, 0, 0, 0, 0x0A}));
  EXPECT_EQ(encodeReadRequest(0xABCD, 300, 2), (Request{0xAB, 0xCD, 0, 0, 0, 6, 1, 3, 0x01, 0x2C, 0, 2}));
  EXPECT_EQ(encodeReadRequest(0xFFFF, 0xFFFF, 0xFFFF),
            (Request{0xFF, 0xFF, 0, 0, 0, 6, 1, 3, 0xFF, 0xFF, 0xFF, 0xFF}));
}

struct FramingCase {
  const char* name;
  Bytes bytes;
  FrameStatus status;
  std::size_t size = 0;  // of a complete frame
};

TEST(ModbusTcp, FindsTheFrameAtTheFrontOfAStream) {
  const FramingCase cases[] = {
      {"nothing yet", {}, FrameStatus::kIncomplete},
      {"half a header", {0, 1, 0}, FrameStatus::kIncomplete},
      {"protocol id seen before the length", {0, 1, 0, 1}, FrameStatus::kCorrupt},
      {"header, body missing", {0, 1, 0, 0, 0, 5, 1, 3}, FrameStatus::kIncomplete},
      {"smallest frame", {0, 1, 0, 0, 0, 3, 1, 0x83, 2}, FrameStatus::kComplete, 9},
      {"frame and more behind it", {0, 1, 0, 0, 0, 3, 1, 0x83, 2, 9, 9}, FrameStatus::kComplete, 9},
      {"length 2", {0, 1, 0, 0, 0, 2, 1, 3}, FrameStatus::kCorrupt},
      {"length 255", {0, 1, 0, 0, 0, 0xFF}, FrameStatus::kCorrupt},
      {"length 2000", {0, 1, 0, 0, 0x07, 0xD0}, FrameStatus::kCorrupt},
  };
  for (const FramingCase& c : cases) {
    std::size_t size = 0;
    EXPECT_EQ(frameAtFront(c.bytes, size), c.status) << c.name;
    EXPECT_EQ(size, c.size) << c.name;
  }
  Bytes largest = {0, 1, 0, 0, 0, 254};
  largest.resize(260, 0x5A);
  std::size_t size = 0;
  EXPECT_EQ(frameAtFront(largest, size), FrameStatus::kComplete);
  EXPECT_EQ(size, 260u);
  EXPECT_EQ(transactionId(largest), 1);
}

struct AnswerCase {
  const char* name;
  Bytes frame;
  std::uint16_t quantity;
  ReadAnswer::Kind kind;
  ReadAnswer::Fault fault = ReadAnswer::Fault::kNone;
  std::vector<std::uint16_t> values = {};
  std::uint8_t exception_code = 0;
};

TEST(ModbusTcp, DecodesValuesExceptionsAndMalformedAnswers) {
  using K = ReadAnswer::Kind;
  using F = ReadAnswer::Fault;
  const AnswerCase cases[] = {
      {"two values", {0, 0, 0, 0, 0, 7, 1, 3, 4, 0x01, 0x2C, 0xFF, 0xFF}, 2, K::kValues, F::kNone, {300, 65535}},
      {"no register asked for", {0, 0, 0, 0, 0, 3, 1, 3, 0}, 0, K::kValues},
      {"exception 2", {0, 0, 0, 0, 0, 3, 1, 0x83, 2}, 2, K::kException, F::kNone, {}, 2},
      {"exception code beyond the standard's", {0, 0, 0, 0, 0, 3, 1, 0x83, 0x99}, 1, K::kException, F::kNone, {}, 0x99},
      {"exception of function 4", {0, 0, 0, 0, 0, 3, 1, 0x84, 1}, 1, K::kMalformed, F::kWrongFunction},
      {"function 4", {0, 0, 0, 0, 0, 5, 1, 4, 2, 0, 7}, 1, K::kMalformed, F::kWrongFunction},
      {"one register short", {0, 0, 0, 0, 0, 5, 1, 3, 2, 0, 7}, 2, K::kMalformed, F::kWrongByteCount},
      {"one register more", {0, 0, 0, 0, 0, 7, 1, 3, 4, 0, 7, 0, 8}, 1, K::kMalformed, F::kWrongByteCount},
      {"length beyond the values", {0, 0, 0, 0, 0, 6, 1, 3, 2, 0, 7, 0}, 1, K::kMalformed, F::kWrongLength},
  };
  for (const AnswerCase& c : cases) {
    const ReadAnswer answer = decodeReadAnswer(c.frame, c.quantity);
    EXPECT_EQ(answer.kind, c.kind) << c.name;
    EXPECT_EQ(answer.fault, c.fault) << c.name;
    EXPECT_EQ(answer.exception_code, c.exception_code) << c.name;
    std::vector<std::uint16_t> values;
    for (std::size_t k = 0; k < answer.count(); ++k) values.push_back(answer.value(k));
    EXPECT_EQ(values, c.values) << c.name;
  }
}

}  // namespace
}  // namespace rtupoll::modbus
