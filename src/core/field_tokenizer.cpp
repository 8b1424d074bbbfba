#include <algorithm>

#include "core/sysex_template.h"

namespace banklore {

FieldTokenizer::FieldTokenizer(std::string text) : text_(std::move(text)) {
  // The lists come from C-style text: anything after an embedded NUL was never part of it.
  if (const auto nul = text_.find('\0'); nul != std::string::npos) text_.resize(nul);
}

std::optional<std::string_view> FieldTokenizer::nextField(char separator) {
  if (position_ >= text_.size()) return std::nullopt;
  const std::string_view rest = std::string_view(text_).substr(position_);
  const std::size_t end = separator == '\0' ? std::string_view::npos : rest.find(separator);
  if (end == std::string_view::npos) {
    position_ = text_.size();
    return rest;
  }
  position_ += end + 1;
  return rest.substr(0, end);
}

int FieldTokenizer::countRemaining(char separator) const {
  if (position_ >= text_.size()) return 0;
  const std::string_view rest = std::string_view(text_).substr(position_);
  return 1 + static_cast<int>(std::count(rest.begin(), rest.end(), separator));
}

}  // namespace banklore
