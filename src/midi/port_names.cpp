#include "midi/port_names.h"

namespace banklore {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Index where a run of digits ending just before `end` starts, or `end` when there is none.
std::size_t digitsStart(std::string_view text, std::size_t end) {
  std::size_t start = end;
  while (start > 0 && isDigit(text[start - 1])) --start;
  return start;
}

}  // namespace

std::string withoutAlsaAddress(std::string_view name) {
  // Expect " <client>:<port>" at the end.
  const std::size_t portStart = digitsStart(name, name.size());
  if (portStart == name.size() || portStart == 0 || name[portStart - 1] != ':') {
    return std::string(name);
  }
  const std::size_t colon = portStart - 1;
  const std::size_t clientStart = digitsStart(name, colon);
  if (clientStart == colon || clientStart == 0 || name[clientStart - 1] != ' ') {
    return std::string(name);
  }
  return std::string(name.substr(0, clientStart - 1));
}

}  // namespace banklore
