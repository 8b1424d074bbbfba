#include "message_shape.h"

#include "core/sysex_template.h"

namespace banklore {
namespace {

constexpr std::array<char, 3> kLetters = {'s', 't', 'u'};

std::vector<TemplateVariable> table(const VariableValues& values) {
  return {{"s", values[Variable::S]}, {"t", values[Variable::T]}, {"u", values[Variable::U]}};
}

// The inverse of encodePart: the bits of the value that a byte built with `selector` holds.
std::int32_t bitsOf(std::uint8_t byte, char selector) {
  switch (selector) {
    case '1':
    case 'l':
      return byte & 0x7F;
    case '2':
    case 'h':
      return (byte & 0x7F) << 7;
    case '3':
      return byte & 0x0F;
    case '4':
      return (byte & 0x0F) << 4;
    default:
      return byte;
  }
}

}  // namespace

MessageShape::MessageShape(std::string templateText) : text_(std::move(templateText)) {
  // The same walk as buildMessage: an empty field ends the template, the wildcard "ff" builds the
  // device byte, another literal one byte, a two-character field one byte per variable of its
  // letter, anything else nothing.
  FieldTokenizer fields(text_);
  while (const auto field = fields.nextField(',')) {
    if (field->empty()) break;
    if (*field == "ff") {
      parts_.push_back({Variable::U, '1'});
    } else if (isHexByteToken(*field)) {
      parts_.push_back({});
    } else if (field->size() == 2) {
      for (std::size_t i = 0; i < kLetters.size(); ++i) {
        if ((*field)[0] == kLetters[i]) parts_.push_back({static_cast<Variable>(i), (*field)[1]});
      }
    }
  }
}

bool MessageShape::carries(Variable v) const {
  for (const Part& part : parts_) {
    if (part.variable == v) return true;
  }
  return false;
}

VariableValues MessageShape::decode(std::span<const std::uint8_t> bytes) const {
  VariableValues values;
  for (std::size_t i = 0; i < parts_.size() && i < bytes.size(); ++i) {
    if (!parts_[i].variable) continue;
    const auto v = static_cast<std::size_t>(*parts_[i].variable);
    values.value[v] |= bitsOf(bytes[i], parts_[i].selector);
    values.present[v] = true;
  }
  return values;
}

std::vector<std::uint8_t> MessageShape::build(const VariableValues& values) const {
  return buildMessage(text_, table(values));
}

std::optional<VariableValues> MessageShape::match(std::span<const std::uint8_t> bytes,
                                                  std::optional<std::size_t> skip) const {
  if (parts_.empty() || bytes.size() != parts_.size()) return std::nullopt;
  const VariableValues values = decode(bytes);
  const std::vector<std::uint8_t> built = build(values);
  if (built.size() != bytes.size()) return std::nullopt;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != skip && built[i] != bytes[i]) return std::nullopt;
  }
  return values;
}

}  // namespace banklore
