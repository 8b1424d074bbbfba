#include "core/sysex_template.h"

#include <gtest/gtest.h>

#include <climits>

namespace banklore {

using Bytes = std::vector<std::uint8_t>;

static std::vector<TemplateVariable> stu(std::int32_t s, std::int32_t t = 4, std::int32_t u = 6) {
  return {{"s", s}, {"t", t}, {"u", u}};
}

TEST(SysExTemplateTest, EncodeAndDecodePartsAndBuildMessages) {
  const char* const request = "f0,00,20,29,01,21,x1,13,s2,s1,f7";
  // clang-format off
  const std::tuple<std::int32_t, char, std::uint8_t> encoded[] = {
      {300, '1', 0x2C}, {300, 'l', 0x2C}, {300, '2', 0x02}, {300, 'h', 0x02}, {0xAB, '3', 0x0B},
      {0xAB, '4', 0x0A}, {0x1AB, '5', 0x2B}, {0x1AB, 'H', 0x2B}, {-1, '1', 0x7F}, {-1, '2', 0x7F},
      {0xFF, '\0', 0x7F}};
  const std::tuple<std::uint8_t, char, std::uint8_t> decoded[] = {
      {0x03, '2', 0x80}, {0x02, 'h', 0x00}, {0x1B, '4', 0xB0}, {0x85, '1', 0x85}, {0x85, 'x', 133}};
  const std::tuple<const char*, std::int32_t, Bytes> cases[] = {
      {request, 5, {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x13, 0x00, 0x05, 0xF7}},
      {request, 300, {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x13, 0x02, 0x2C, 0xF7}},
      {"f0,00,20,29,01,21,ff,02", 77, {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x06, 0x02}},
      {"", 0, {}}, {"f0,,f7", 0, {0xF0}}, {"F0,FF", 0, {0xF0, 0xFF}}, {"7", 0, {0x07}},
      {"s5", 0x1AB, {0x2B}}, {"f0,abc,s1,x,100", 3, {0xF0, 0x03}},
      {"f0,t1,u1,f7,", 9, {0xF0, 0x04, 0x06, 0xF7}}};
  // clang-format on
  for (const auto& [value, part, byte] : encoded) EXPECT_EQ(encodePart(value, part), byte) << part;
  for (const auto& [byte, part, bits] : decoded) EXPECT_EQ(decodePart(byte, part), bits) << part;
  for (const auto& [text, s, bytes] : cases) EXPECT_EQ(buildMessage(text, stu(s)), bytes) << text;
  std::string many = "f0";
  for (int i = 0; i < 300; ++i) many += ",s1";
  EXPECT_EQ(buildMessage(many, stu(0x11)).size(), 301u) << "more than 255 bytes";
  const std::vector<TemplateVariable> twins = {{"s", 1}, {"sx", 2}, {"t", 3}};
  EXPECT_EQ(buildMessage("f0,s1,f7", twins), (Bytes{0xF0, 0x01, 0x02, 0xF7})) << "one byte each";
}

// Between F0 and F7 only data bytes, whatever the variables hold: a byte above 7F is a status
// byte to every MIDI driver. Only a literal written that way builds one, and it is reported.
TEST(SysExTemplateTest, VariablesAndTheWildcardBuildOnlyDataBytes) {
  const char* const everySelector = "f0,s1,s2,s3,s4,sl,sh,sx,s9,t1,t2,tz,u1,u2,uq,ff,f7";
  for (const std::int32_t value : {0, 0x7F, 0x80, 0xFF, 0x3FFF, 0x4000, -1, INT32_MIN, INT32_MAX}) {
    const Bytes built = buildMessage(everySelector, stu(value, value, value));
    ASSERT_EQ(built.size(), 17u);
    for (std::size_t i = 1; i + 1 < built.size(); ++i)
      EXPECT_LT(built[i], 0x80) << "value " << value << " byte " << i;
  }
  // The wildcard is the device byte, as "u1" builds it; 00 when the table has no "u".
  // clang-format off
  const std::tuple<std::vector<TemplateVariable>, Bytes> wildcards[] = {
      {stu(1, 2, 0x10), {0xF0, 0x10, 0x10, 0xF7}}, {stu(1, 2, 0x9A), {0xF0, 0x1A, 0x1A, 0xF7}},
      {{{"s", 5}}, {0xF0, 0x00, 0xF7}}};  // and "u1" builds nothing
  const std::tuple<const char*, std::vector<std::pair<std::size_t, std::uint8_t>>> literals[] = {
      {"f0,00,20,29,01,21,ff,02", {}}, {"F0,7F,f7,s1,F7", {}},
      {"f0,FF,80,7e,Fe,x1,f7", {{1, 0xFF}, {2, 0x80}, {4, 0xFE}}},
      {"f0,,90", {}}};  // past the end of the template
  // clang-format on
  for (const auto& [variables, bytes] : wildcards)
    EXPECT_EQ(buildMessage("f0,ff,u1,f7", variables), bytes);
  for (const auto& [text, found] : literals) EXPECT_EQ(literalsAboveDataRange(text), found) << text;
}

// Matching takes wildcards and looks at nothing past the bytes; extracting fills the variables.
TEST(SysExTemplateTest, MatchesAndExtractsValues) {
  const char* const send = "f0,00,20,29,01,21,ff,02";
  // clang-format off
  const std::tuple<Bytes, const char*, bool> cases[] = {
      {{0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x42, 0x02}, send, true},
      {{0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x42, 0x03}, send, false},
      {{0xF0, 0x01}, "F0,FF", false}, {{0xF0, 0xFF}, "F0,FF", true},
      {{0xF0, 0x55, 0x10}, "f0,,10", true}, {{0xF0, 0x55, 0x10}, "f0,s1,10", true},
      {{0xF0}, "f0,10", false}, {{0xF0}, "f0,ff,s1", true}, {{}, "", true}};
  // clang-format on
  const std::tuple<Bytes, const char*, std::vector<std::int32_t>> extracted[] = {
      {{0xF0, 0x7D, 0x03, 0x10, 0x02, 0x01, 0x05}, "f0,7d,u1,10,t1,s2,s1", {133, 2, 3}},
      {{0x03, 0x05}, "t2,t1", {0, 133, 0}},
      {{0x0A, 0x05}, "s4,s3", {0xA5, 0, 0}},
      {{0xF0, 0x09, 0x07}, "f0,,s1", {0, 0, 0}},  // an empty field ends the template
      {{0xF0, 0x09}, "f0,s1,t1", {9, 0, 0}},      // positions past the bytes add nothing
      {{0x33}, "s", {0x33, 0, 0}}};
  // clang-format on
  for (const auto& [bytes, text, matches] : cases) EXPECT_EQ(matchesTemplate(bytes, text), matches);
  for (const auto& [bytes, text, stuValues] : extracted) {
    std::vector<TemplateVariable> variables = {{"s", 9}, {"t", 9}, {"u", 9}, {"sx", 9}};
    extractValues(bytes, text, variables);
    EXPECT_EQ((std::vector{variables[0].value, variables[1].value, variables[2].value}), stuValues);
    EXPECT_EQ(variables[3].value, variables[0].value) << "every variable of the letter";
  }
}

}  // namespace banklore
