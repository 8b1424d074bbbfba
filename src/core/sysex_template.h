// The template language of instrument definitions: comma-separated byte patterns such as
// "f0,00,20,29,01,21,x1,13,s2,s1,f7" built into bytes, matched against received bytes, and read
// back into variable values. Stateless; templates are parsed from their text on every use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace banklore {

struct TemplateVariable {
  std::string name;  // only the first character is compared
  std::int32_t value = 0;
};

// Splits a text at a separator the way every comma list of the definition file is split: a trailing
// separator gives no empty last field, a leading or doubled one gives an empty field.
class FieldTokenizer {
 public:
  explicit FieldTokenizer(std::string text);
  // Next field, or nullopt when the position has reached the end. Separator '\0' returns the rest.
  std::optional<std::string_view> nextField(char separator);
  // 1 if the rest is not empty, plus the number of separators in the rest.
  int countRemaining(char separator) const;

 private:
  std::string text_;
  std::size_t position_ = 0;
};

bool isHexByteToken(std::string_view field);
// Every byte a variable builds is a MIDI data byte (below 80), whatever the selector.
std::uint8_t encodePart(std::int32_t value, char selector);
std::uint8_t decodePart(std::uint8_t byte, char selector);
// Commas in the text plus one, or 0 when the text has no comma.
int countFields(std::string_view templateText);

// Builds the message; the output may exceed 255 bytes (it is not wrapped). The wildcard "ff"
// builds the device byte (the low 7 bits of the variable "u", 00 without one): that is what it
// stands for in real dumps, and FF is no MIDI data byte.
std::vector<std::uint8_t> buildMessage(std::string_view templateText,
                                       std::span<const TemplateVariable> variables);
// True when every literal field (other than the wildcard "ff") equals the byte at its position.
// A literal field beyond the end of `bytes` does not match.
bool matchesTemplate(std::span<const std::uint8_t> bytes, std::string_view templateText);
// Position of the first literal field that the bytes do not match (also one beyond their end), or
// nullopt when matchesTemplate would accept them. For diagnostics.
std::optional<std::size_t> firstMismatch(std::span<const std::uint8_t> bytes,
                                         std::string_view templateText);
// The byte a literal field at `position` stands for; nullopt for a variable or wildcard field or a
// position beyond the template. For diagnostics.
std::optional<std::uint8_t> literalAt(std::string_view templateText, std::size_t position);
// (position, byte) of each literal field that builds a byte above 7F other than F0 and F7: bytes
// no instrument takes as data, which only the definition's author can have meant.
std::vector<std::pair<std::size_t, std::uint8_t>> literalsAboveDataRange(
    std::string_view templateText);
// Clears every variable, then merges the decoded bytes of the variable fields into them. Positions
// beyond the end of `bytes` contribute nothing.
void extractValues(std::span<const std::uint8_t> bytes, std::string_view templateText,
                   std::span<TemplateVariable> variables);

}  // namespace banklore
