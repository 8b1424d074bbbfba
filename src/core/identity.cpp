#include "core/identity.h"

#include <algorithm>
#include <string>

#include "core/sysex_template.h"

namespace banklore {

bool isIdentityRequest(std::span<const std::uint8_t> message) {
  return message.size() == std::size(kIdentityRequest) && message[0] == 0xF0 &&
         message[1] == 0x7E && message[3] == 0x06 && message[4] == 0x01 && message[5] == 0xF7;
}

std::optional<IdentityReply> parseIdentityReply(std::span<const std::uint8_t> message) {
  constexpr std::size_t kHeader = 5, kAfterManufacturer = 2 + 2 + 4;
  if (message.size() < kHeader + 1 + kAfterManufacturer + 1) return std::nullopt;
  if (message[0] != 0xF0 || message[1] != 0x7E || message[3] != 0x06 || message[4] != 0x02 ||
      message.back() != 0xF7) {
    return std::nullopt;
  }
  const std::span<const std::uint8_t> body = message.subspan(kHeader, message.size() - kHeader - 1);
  // A manufacturer ID of 00 takes two more bytes.
  const std::size_t manufacturer = body[0] == 0x00 ? 3 : 1;
  if (body.size() != manufacturer + kAfterManufacturer) return std::nullopt;
  const auto data = [](std::uint8_t byte) { return byte < 0x80; };
  if (!data(message[2]) || !std::all_of(body.begin(), body.end(), data)) return std::nullopt;
  return IdentityReply{message[2], {body.begin(), body.end()}};
}

std::optional<std::vector<int>> parseIdentityPattern(std::string_view text) {
  std::vector<int> pattern;
  FieldTokenizer fields{std::string(text)};
  while (const auto field = fields.nextField(',')) {
    std::string token(*field);
    token.erase(0, token.find_first_not_of(" \t"));
    token.erase(token.find_last_not_of(" \t") + 1);
    if (!isHexByteToken(token)) return std::nullopt;
    const int byte = std::stoi(token, nullptr, 16);
    pattern.push_back(byte == 0xFF ? -1 : byte);
  }
  if (pattern.empty()) return std::nullopt;
  return pattern;
}

bool identityMatches(std::span<const int> pattern, const IdentityReply& reply) {
  if (pattern.size() > reply.bytes.size()) return false;
  return std::equal(pattern.begin(), pattern.end(), reply.bytes.begin(),
                    [](int want, std::uint8_t got) { return want < 0 || want == got; });
}

}  // namespace banklore
