#include "ui/move_count.h"

#include <gtest/gtest.h>

namespace banklore {
namespace {

struct Case {
  const char* text;
  MoveCountCheck check;
  int value;
};

TEST(MoveCountTest, ReadsSignedIntegersWithinTheRange) {
  const Case cases[] = {
      {"0", MoveCountCheck::Valid, 0},
      {"-3", MoveCountCheck::Valid, -3},
      {"+7", MoveCountCheck::Valid, 7},
      {"  12 ", MoveCountCheck::Valid, 12},
      {"1023", MoveCountCheck::Valid, 1023},
      {"-1023", MoveCountCheck::Valid, -1023},
      {"0001023", MoveCountCheck::Valid, 1023},
      {"1024", MoveCountCheck::OutOfRange, 0},
      {"-1024", MoveCountCheck::OutOfRange, 0},
      {"99999999999999999999999", MoveCountCheck::OutOfRange, 0},
      {"12abc", MoveCountCheck::NotAnInteger, 0},
      {"", MoveCountCheck::NotAnInteger, 0},
      {"   ", MoveCountCheck::NotAnInteger, 0},
      {"-", MoveCountCheck::NotAnInteger, 0},
      {"1.5", MoveCountCheck::NotAnInteger, 0},
      {"1 2", MoveCountCheck::NotAnInteger, 0},
      {"--1", MoveCountCheck::NotAnInteger, 0},
      {"0x10", MoveCountCheck::NotAnInteger, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const MoveCountResult result = parseMoveCount(c.text);
    EXPECT_EQ(result.check, c.check);
    if (c.check == MoveCountCheck::Valid) {
      EXPECT_EQ(result.value, c.value);
    }
  }
}

}  // namespace
}  // namespace banklore
