// SysEx templates: any text, and templates made only of fields that build one byte each.
// Invariants:
// - For any text and bytes: nothing is read outside the bytes; matchesTemplate agrees with
//   firstMismatch, and a literal that literalAt reports at a position is the byte a matching
//   message holds there; countFields counts as the tokenizer does.
// - For a template of literals, "ff" and the variables s, t, u: it builds one byte per field, each
//   literal as written and every variable byte (and "ff") below 80; the built message matches its
//   own template; extracting from it gives back each variable's value whenever the template carries
//   enough of it (seven bits from a low field, eight from a low and a high field or from both
//   nibbles), and 0 for a variable it does not carry.
#include "core/sysex_template.h"
#include "fuzz_support.h"

namespace banklore::fuzz {
namespace {

struct Field {
  std::string text;
  int variable = -1;  // index into s, t, u; -1 for a literal
  char selector = 0;
};

std::string joined(const std::vector<Field>& fields) {
  std::string text;
  for (const Field& field : fields) text += (text.empty() ? "" : ",") + field.text;
  return text;
}

// How many low bits of the variable the template carries in full.
int carriedBits(const std::vector<Field>& fields, int variable) {
  bool low = false, high = false, lowNibble = false, highNibble = false;
  for (const Field& field : fields) {
    if (field.variable != variable) continue;
    switch (field.selector) {
      case '2':
      case 'h':
        high = true;
        break;
      case '3':
        lowNibble = true;
        break;
      case '4':
        highNibble = true;
        break;
      default:
        low = true;
    }
  }
  if ((low && high) || (lowNibble && highNibble)) return 8;
  return low ? 7 : 0;
}

void anyText(FuzzedDataProvider& in) {
  const std::string text = in.ConsumeRandomLengthString(64);
  const Bytes bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 40));
  std::vector<TemplateVariable> variables = {{"s", in.ConsumeIntegral<std::int32_t>()},
                                             {"t", in.ConsumeIntegral<std::int32_t>()},
                                             {"u", in.ConsumeIntegral<std::int32_t>()},
                                             {in.ConsumeRandomLengthString(3), 5}};
  (void)buildMessage(text, variables);
  extractValues(bytes, text, variables);
  const auto mismatch = firstMismatch(bytes, text);
  FUZZ_CHECK(matchesTemplate(bytes, text) == !mismatch.has_value());
  if (!mismatch) {
    for (std::size_t position = 0; position < bytes.size() + 2; ++position) {
      if (const auto literal = literalAt(text, position)) {
        FUZZ_CHECK(position < bytes.size() && bytes[position] == *literal);
      }
    }
  } else if (*mismatch < bytes.size()) {
    FUZZ_CHECK(literalAt(text, *mismatch).has_value());
    FUZZ_CHECK(literalAt(text, *mismatch) != bytes[*mismatch]);
  }
  for (const auto& [position, byte] : literalsAboveDataRange(text)) {
    FUZZ_CHECK(byte > 0x7F && literalAt(text, position) == byte);
  }
  FieldTokenizer fields(text);
  const int commas = static_cast<int>(std::count(text.begin(), text.end(), ','));
  FUZZ_CHECK(countFields(text) == (commas > 0 ? commas + 1 : 0));
  const int remaining = fields.countRemaining(',');
  int seen = 0;
  while (fields.nextField(',')) ++seen;
  // A trailing separator is counted but gives no field; text after a NUL is no part of the list.
  FUZZ_CHECK(text.find('\0') != std::string::npos || seen == remaining ||
             (seen + 1 == remaining && text.back() == ','));
}

void wellFormed(FuzzedDataProvider& in) {
  std::vector<Field> fields;
  const int count = in.ConsumeIntegralInRange(1, 24);
  for (int i = 0; i < count; ++i) {
    const int kind = in.ConsumeIntegralInRange(0, 4);
    if (kind == 0) {
      char text[3];
      std::snprintf(text, sizeof text, in.ConsumeBool() ? "%x" : "%02X",
                    in.ConsumeIntegral<std::uint8_t>());
      fields.push_back({text});
    } else if (kind == 1) {
      fields.push_back({"ff"});
    } else {
      const char selector = in.PickValueInArray({'1', 'l', '2', 'h', '3', '4', '5', 'x', 'L'});
      fields.push_back({std::string(1, "stu"[kind - 2]) + selector, kind - 2, selector});
    }
  }
  const std::string text = joined(fields);
  std::vector<TemplateVariable> variables = {{"s", 0}, {"t", 0}, {"u", 0}};
  for (TemplateVariable& variable : variables) {
    variable.value =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 255) : in.ConsumeIntegral<std::int32_t>();
  }
  const Bytes built = buildMessage(text, variables);
  FUZZ_CHECK_MSG(built.size() == fields.size(), text + " -> " + hex(built));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Field& field = fields[i];
    if (field.text == "ff" || field.variable >= 0) {
      FUZZ_CHECK_MSG(built[i] < 0x80, text + " -> " + hex(built));
    } else {
      FUZZ_CHECK(built[i] == static_cast<std::uint8_t>(std::stoul(field.text, nullptr, 16)));
    }
  }
  FUZZ_CHECK_MSG(matchesTemplate(built, text), text + " -> " + hex(built));
  if (!built.empty())
    FUZZ_CHECK(!matchesTemplate(std::span(built).first(built.size() - 1), text) ||
               !literalAt(text, built.size() - 1).has_value());

  std::vector<TemplateVariable> extracted = {{"s", -1}, {"t", -1}, {"u", -1}};
  extractValues(built, text, extracted);
  for (int v = 0; v < 3; ++v) {
    const std::int32_t value = variables[static_cast<std::size_t>(v)].value;
    const std::int32_t back = extracted[static_cast<std::size_t>(v)].value;
    const int bits = carriedBits(fields, v);
    const bool anyField =
        std::any_of(fields.begin(), fields.end(), [&](const Field& f) { return f.variable == v; });
    FUZZ_CHECK(back >= 0 && back <= 0xFF);
    if (!anyField) FUZZ_CHECK(back == 0);
    if (bits > 0 && value >= 0 && value < (1 << bits)) {
      FUZZ_CHECK_MSG(back == value, text + " -> " + hex(built) + ": " + variables[v].name + "=" +
                                        std::to_string(value) + " read back as " +
                                        std::to_string(back));
    }
  }
}

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    banklore::fuzz::wellFormed(in);
  } else {
    banklore::fuzz::anyText(in);
  }
  return 0;
}
