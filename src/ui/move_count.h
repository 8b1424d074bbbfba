// Reading the "Move..." dialog's count: a signed decimal integer within -1023..1023.
#pragma once

#include <string_view>

namespace banklore {

inline constexpr int kMoveCountLimit = 1023;

enum class MoveCountCheck { Valid, NotAnInteger, OutOfRange };

struct MoveCountResult {
  MoveCountCheck check = MoveCountCheck::NotAnInteger;
  int value = 0;  // meaningful only when Valid
};

// Blanks around the number are allowed, as is a leading sign; anything else ("12abc", "", "1.5")
// is not an integer. An integer too large for any type is out of range, not malformed.
MoveCountResult parseMoveCount(std::string_view text);

}  // namespace banklore
