// SysEx templates: any text against any bytes. Invariants: nothing is read outside the bytes;
// matchesTemplate agrees with firstMismatch, and a literal that literalAt reports at a position is
// the byte a matching message holds there; countFields counts as the tokenizer does. (What a
// well-formed template builds and gives back is a property of the core tests.)
#include "core/sysex_template.h"
#include "fuzz_support.h"

namespace banklore::fuzz {
namespace {

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

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  banklore::fuzz::anyText(in);
  return 0;
}
