#include "ui/move_count.h"

#include <gtest/gtest.h>

namespace banklore {
namespace {

TEST(MoveCountTest, ReadsSignedIntegersWithinTheRange) {
  using enum MoveCountCheck;
  const struct {
    const char* text;
    MoveCountCheck check;
    int value;
  } cases[] = {
      {"-3", Valid, -3},        {"+7", Valid, 7},          {"  12 ", Valid, 12},
      {"-1023", Valid, -1023},  {"0001023", Valid, 1023},  {"1024", OutOfRange, 0},
      {"-1024", OutOfRange, 0}, {"99999999999999999999", OutOfRange, 0},
      {"12abc", NotAnInteger, 0}, {"", NotAnInteger, 0},   {"-", NotAnInteger, 0},
      {"1.5", NotAnInteger, 0},   {"1 2", NotAnInteger, 0}, {"0x10", NotAnInteger, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const MoveCountResult result = parseMoveCount(c.text);
    EXPECT_EQ(result.check, c.check);
    EXPECT_EQ(result.value, c.value);
  }
}

}  // namespace
}  // namespace banklore
