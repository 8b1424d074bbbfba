#include "app/text_format.h"

#include <cstdio>
#include <vector>

namespace banklore {

std::string vformatText(std::size_t capacity, const char* format, va_list args) {
  if (format == nullptr || capacity == 0) return {};
  std::vector<char> buffer(capacity);
  const int written = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  if (written < 0) return {};
  return std::string(buffer.data());
}

std::string formatText(std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformatText(capacity, format, args);
  va_end(args);
  return text;
}

}  // namespace banklore
