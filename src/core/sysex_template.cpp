#include "core/sysex_template.h"

#include <algorithm>

namespace banklore {
namespace {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Only call on a field that passed isHexByteToken.
std::uint8_t hexByteValue(std::string_view field) {
  int value = 0;
  for (const char c : field) value = value * 16 + hexDigitValue(c);
  return static_cast<std::uint8_t>(value);
}

bool namesVariable(const TemplateVariable& variable, char letter) {
  return !variable.name.empty() && variable.name.front() == letter;
}

constexpr std::string_view kWildcard = "ff";

std::uint8_t deviceByte(std::span<const TemplateVariable> variables) {
  const auto u = std::find_if(variables.begin(), variables.end(),
                              [](const TemplateVariable& v) { return namesVariable(v, 'u'); });
  return u == variables.end() ? 0 : encodePart(u->value, '1');
}

}  // namespace

bool isHexByteToken(std::string_view field) {
  if (field.empty() || field.size() > 2) return false;
  return std::all_of(field.begin(), field.end(), [](char c) { return hexDigitValue(c) >= 0; });
}

std::uint8_t encodePart(std::int32_t value, char selector) {
  switch (selector) {
    case '1':
    case 'l':
      return static_cast<std::uint8_t>(value & 0x7F);
    case '2':
    case 'h':
      return static_cast<std::uint8_t>((value >> 7) & 0x7F);
    case '3':
      return static_cast<std::uint8_t>(value & 0x0F);
    case '4':
      return static_cast<std::uint8_t>((value >> 4) & 0x0F);
    default:
      // Bit 7 would make a status byte that ends or breaks the SysEx message on the way.
      return static_cast<std::uint8_t>(value & 0x7F);
  }
}

std::uint8_t decodePart(std::uint8_t byte, char selector) {
  switch (selector) {
    case '2':
    case 'h':
      return static_cast<std::uint8_t>((byte & 0x01) << 7);
    case '4':
      return static_cast<std::uint8_t>((byte & 0x0F) << 4);
    default:
      return byte;
  }
}

int countFields(std::string_view templateText) {
  const auto commas = static_cast<int>(std::count(templateText.begin(), templateText.end(), ','));
  return commas > 0 ? commas + 1 : 0;
}

std::vector<std::uint8_t> buildMessage(std::string_view templateText,
                                       std::span<const TemplateVariable> variables) {
  std::vector<std::uint8_t> out;
  out.reserve(templateText.size());
  FieldTokenizer fields{std::string(templateText)};
  while (const auto field = fields.nextField(',')) {
    if (field->empty()) break;  // an empty field ends the template
    if (*field == kWildcard) {
      out.push_back(deviceByte(variables));
    } else if (isHexByteToken(*field)) {
      out.push_back(hexByteValue(*field));
    } else if (field->size() == 2) {
      for (const TemplateVariable& variable : variables) {
        if (namesVariable(variable, (*field)[0])) {
          out.push_back(encodePart(variable.value, (*field)[1]));
        }
      }
    }
  }
  return out;
}

std::optional<std::size_t> firstMismatch(std::span<const std::uint8_t> bytes,
                                         std::string_view templateText) {
  FieldTokenizer fields{std::string(templateText)};
  std::size_t position = 0;
  for (auto field = fields.nextField(','); field; field = fields.nextField(','), ++position) {
    if (!isHexByteToken(*field) || *field == kWildcard) continue;  // wildcard position
    if (position >= bytes.size() || bytes[position] != hexByteValue(*field)) return position;
  }
  return std::nullopt;
}

std::optional<std::uint8_t> literalAt(std::string_view templateText, std::size_t position) {
  FieldTokenizer fields{std::string(templateText)};
  for (auto field = fields.nextField(','); field; field = fields.nextField(','), --position) {
    if (position != 0) continue;
    if (!isHexByteToken(*field) || *field == kWildcard) return std::nullopt;
    return hexByteValue(*field);
  }
  return std::nullopt;
}

std::vector<std::pair<std::size_t, std::uint8_t>> literalsAboveDataRange(
    std::string_view templateText) {
  std::vector<std::pair<std::size_t, std::uint8_t>> found;
  FieldTokenizer fields{std::string(templateText)};
  std::size_t position = 0;
  for (auto field = fields.nextField(','); field && !field->empty();
       field = fields.nextField(','), ++position) {
    if (!isHexByteToken(*field) || *field == kWildcard) continue;
    const std::uint8_t byte = hexByteValue(*field);
    if (byte > 0x7F && byte != 0xF0 && byte != 0xF7) found.emplace_back(position, byte);
  }
  return found;
}

bool matchesTemplate(std::span<const std::uint8_t> bytes, std::string_view templateText) {
  return !firstMismatch(bytes, templateText).has_value();
}

void extractValues(std::span<const std::uint8_t> bytes, std::string_view templateText,
                   std::span<TemplateVariable> variables) {
  for (TemplateVariable& variable : variables) variable.value = 0;
  FieldTokenizer fields{std::string(templateText)};
  std::size_t position = 0;
  for (auto field = fields.nextField(','); field && !field->empty();
       field = fields.nextField(','), ++position) {
    if (isHexByteToken(*field) || position >= bytes.size()) continue;
    // A one-character field has no selector; its "selector" decodes the byte unchanged.
    const char letter = (*field)[0];
    const char selector = field->size() > 1 ? (*field)[1] : '\0';
    for (TemplateVariable& variable : variables) {
      if (namesVariable(variable, letter)) {
        variable.value |= decodePart(bytes[position], selector);
      }
    }
  }
}

}  // namespace banklore
