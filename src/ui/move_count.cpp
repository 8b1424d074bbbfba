#include "ui/move_count.h"

#include <cctype>

namespace banklore {

namespace {

bool isBlank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

MoveCountResult parseMoveCount(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return {};
  // Digits are accumulated with saturation so a long number reads as out of range.
  long magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return {};
    if (magnitude <= kMoveCountLimit) magnitude = magnitude * 10 + (c - '0');
  }
  if (magnitude > kMoveCountLimit) return {MoveCountCheck::OutOfRange, 0};
  const int value = static_cast<int>(negative ? -magnitude : magnitude);
  return {MoveCountCheck::Valid, value};
}

}  // namespace banklore
