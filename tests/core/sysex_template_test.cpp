#include "core/sysex_template.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <random>

namespace banklore {

using Bytes = std::vector<std::uint8_t>;

// A template of literal data bytes, the device wildcard and each of s, t and u laid out in one of
// the ways definitions spread a value over bytes, in any order: building it gives a message that
// matches it, with each value back out; a changed literal byte no longer matches.
RC_GTEST_PROP(SysExTemplateTest, BuiltMessagesMatchTheirTemplateAndGiveTheValuesBack, ()) {
  struct Layout {
    std::vector<const char*> selectors;
    std::int32_t top;
  };
  const Layout layouts[] = {{{"1"}, 0x7F},      {{"l"}, 0x7F},      {{"2", "1"}, 0xFF},
                            {{"l", "h"}, 0xFF}, {{"4", "3"}, 0xFF}, {{"3", "4"}, 0xFF}};
  std::vector<std::string> fields = {"ff"};
  std::vector<TemplateVariable> variables;
  for (const char* letter : {"s", "t", "u"}) {
    const Layout& layout = layouts[*rc::gen::inRange<std::size_t>(0, std::size(layouts))];
    variables.push_back({letter, *rc::gen::inRange<std::int32_t>(0, layout.top + 1)});
    for (const char* selector : layout.selectors) fields.push_back(letter + std::string(selector));
  }
  for (const int byte : *rc::gen::container<std::vector<int>>(rc::gen::inRange(0, 0x80)))
    fields.push_back({"01234567"[byte >> 4], "0123456789abcdef"[byte & 0xF]});
  std::shuffle(fields.begin(), fields.end(), std::mt19937(*rc::gen::arbitrary<unsigned>()));
  std::string text = "f0";
  for (const std::string& field : fields) text += "," + field;
  text += ",f7";

  Bytes message = buildMessage(text, variables);
  RC_ASSERT(message.size() == fields.size() + 2);
  RC_ASSERT(matchesTemplate(message, text));
  std::vector<TemplateVariable> extracted = {{"s", 9}, {"t", 9}, {"u", 9}};
  extractValues(message, text, extracted);
  for (std::size_t i = 0; i < 3; ++i) RC_ASSERT(extracted[i].value == variables[i].value);

  const std::size_t at = *rc::gen::inRange<std::size_t>(1, fields.size() + 1);
  if (isHexByteToken(fields[at - 1]) && fields[at - 1] != "ff") {
    message[at] ^= *rc::gen::inRange(1, 0x80);
    RC_ASSERT_FALSE(matchesTemplate(message, text));
  }
}

// Between F0 and F7 only data bytes, whatever the variables hold: a byte above 7F is a status
// byte to every MIDI driver.
RC_GTEST_PROP(SysExTemplateTest, VariablesAndTheWildcardBuildOnlyDataBytes,
              (std::int32_t s, std::int32_t t, std::int32_t u)) {
  const std::vector<TemplateVariable> variables = {{"s", s}, {"t", t}, {"u", u}};
  const Bytes built = buildMessage("f0,s1,s2,s3,s4,sl,sh,sx,s9,t1,t2,tz,u1,u2,uq,ff,f7", variables);
  RC_ASSERT(built.size() == 17u);
  for (std::size_t i = 1; i + 1 < built.size(); ++i) RC_ASSERT(built[i] < 0x80);
  RC_ASSERT(built[15] == (u & 0x7F));  // the wildcard is the device byte
}

// What the author may write and how it reads: empty fields end a template, words build nothing,
// and only a literal written above 7F builds a status byte, which is reported.
TEST(SysExTemplateTest, FieldsThatAreNeitherBytesNorVariables) {
  const std::vector<TemplateVariable> s3 = {{"s", 3}};
  // clang-format off
  const std::tuple<const char*, Bytes> built[] = {
      {"", {}}, {"f0,,f7", {0xF0}}, {"F0,FF", {0xF0, 0xFF}}, {"7", {0x07}},
      {"f0,abc,s1,x,100", {0xF0, 0x03}}, {"f0,s1,f7,", {0xF0, 0x03, 0xF7}}};
  const std::tuple<Bytes, const char*, bool> matched[] = {
      {{0xF0}, "f0,10", false}, {{0xF0}, "f0,ff,s1", true}, {{0xF0, 0x55, 0x10}, "f0,,10", true}};
  // clang-format on
  for (const auto& [text, bytes] : built) EXPECT_EQ(buildMessage(text, s3), bytes) << text;
  for (const auto& [bytes, text, matches] : matched)
    EXPECT_EQ(matchesTemplate(bytes, text), matches);
  const std::vector<std::pair<std::size_t, std::uint8_t>> above = {{1, 0xFF}, {2, 0x80}, {4, 0xFE}};
  EXPECT_EQ(literalsAboveDataRange("f0,FF,80,7e,Fe,x1,f7"), above);
  EXPECT_EQ(literalsAboveDataRange("f0,00,ff,02,f7,,90"), decltype(above){});
}

}  // namespace banklore
