#include "core/sysex_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace banklore {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<TemplateVariable> stu(std::int32_t s, std::int32_t t, std::int32_t u) {
  return {{"s", s}, {"t", t}, {"u", u}};
}

std::vector<std::string> allFields(const std::string& text, char separator) {
  FieldTokenizer tokenizer(text);
  std::vector<std::string> fields;
  while (auto field = tokenizer.nextField(separator)) fields.emplace_back(*field);
  return fields;
}

TEST(FieldTokenizerTest, SplitsLikeTheDefinitionLists) {
  struct Case {
    std::string text;
    std::vector<std::string> fields;
  };
  const std::vector<Case> cases = {
      {"a,b", {"a", "b"}},
      {"a,b,", {"a", "b"}},
      {",a", {"", "a"}},
      {"a,,b", {"a", "", "b"}},
      {"", {}},
      {",", {""}},
      {"abc", {"abc"}},
      {std::string("a,b\0c", 5), {"a", "b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(allFields(c.text, ','), c.fields) << c.text;
}

TEST(FieldTokenizerTest, ZeroSeparatorReturnsTheRest) {
  FieldTokenizer tokenizer("a,b,c");
  EXPECT_EQ(*tokenizer.nextField(','), "a");
  EXPECT_EQ(*tokenizer.nextField('\0'), "b,c");
  EXPECT_FALSE(tokenizer.nextField(','));
}

TEST(FieldTokenizerTest, CountRemainingCountsSeparatorsOfTheRest) {
  EXPECT_EQ(FieldTokenizer("a,b,").countRemaining(','), 3);
  EXPECT_EQ(FieldTokenizer("").countRemaining(','), 0);
  EXPECT_EQ(FieldTokenizer(",X").countRemaining(','), 2);
  FieldTokenizer tokenizer("a,b,c");
  tokenizer.nextField(',');
  EXPECT_EQ(tokenizer.countRemaining(','), 2);
  tokenizer.nextField(',');
  tokenizer.nextField(',');
  EXPECT_EQ(tokenizer.countRemaining(','), 0);
}

TEST(SysExTemplateTest, HexByteTokens) {
  for (const char* yes : {"f0", "7", "1A", "FF", "ff", "0"})
    EXPECT_TRUE(isHexByteToken(yes)) << yes;
  for (const char* no : {"", "x1", "s1", "abc", "0g", "100", " 1"}) {
    EXPECT_FALSE(isHexByteToken(no)) << no;
  }
}

TEST(SysExTemplateTest, EncodePartSelectors) {
  struct Case {
    std::int32_t value;
    char selector;
    std::uint8_t expected;
  };
  const std::vector<Case> cases = {
      {300, '1', 0x2C},   {300, 'l', 0x2C},  {300, '2', 0x02},   {300, 'h', 0x02},
      {0xAB, '3', 0x0B},  {0xAB, '4', 0x0A}, {0x1AB, '5', 0xAB}, {0x1AB, 'H', 0xAB},
      {0x1AB, 'L', 0xAB}, {-1, '1', 0x7F},   {-1, '2', 0x7F},    {0x3FFF, '2', 0x7F},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encodePart(c.value, c.selector), c.expected) << c.value << " " << c.selector;
  }
}

TEST(SysExTemplateTest, DecodePartSelectors) {
  struct Case {
    std::uint8_t byte;
    char selector;
    std::uint8_t expected;
  };
  const std::vector<Case> cases = {
      {0x03, '2', 0x80}, {0x02, 'h', 0x00}, {0x1B, '4', 0xB0}, {0x85, '1', 0x85},
      {0x85, 'l', 0x85}, {0x85, '3', 0x85}, {0x85, 'x', 0x85}, {0x01, 'H', 0x01},
  };
  for (const Case& c : cases) EXPECT_EQ(decodePart(c.byte, c.selector), c.expected) << c.selector;
}

TEST(SysExTemplateTest, CountFields) {
  EXPECT_EQ(countFields("f0,00,20,29,01,21,ff,02"), 8);
  EXPECT_EQ(countFields("f0,00,20,29,01,21,x1,13,s2,s1,f7"), 11);
  EXPECT_EQ(countFields("f0,00,"), 3);
  EXPECT_EQ(countFields("f0"), 0);
  EXPECT_EQ(countFields(""), 0);
}

TEST(SysExTemplateTest, BuildMessage) {
  struct Case {
    const char* text;
    std::int32_t s;
    Bytes expected;
  };
  const std::vector<Case> cases = {
      {"f0,00,20,29,01,21,x1,13,s2,s1,f7",
       5,
       {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x13, 0x00, 0x05, 0xF7}},
      {"f0,00,20,29,01,21,x1,13,s2,s1,f7",
       300,
       {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x13, 0x02, 0x2C, 0xF7}},
      {"f0,00,20,29,01,21,ff,02", 77, {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0xFF, 0x02}},
      {"", 0, {}},
      {"f0,,f7", 0, {0xF0}},
      {"F0,FF", 0, {0xF0, 0xFF}},
      {"7", 0, {0x07}},
      {"s5", 0x1AB, {0xAB}},
      {"f0,abc,s1,x", 3, {0xF0, 0x03}},
      {"f0,t1,u1,f7,", 9, {0xF0, 0x04, 0x06, 0xF7}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(buildMessage(c.text, stu(c.s, 4, 6)), c.expected) << c.text;
  }
}

TEST(SysExTemplateTest, BuildMessageEmitsOneByteForEachVariableOfTheLetter) {
  const std::vector<TemplateVariable> twins = {{"s", 1}, {"sx", 2}, {"t", 3}};
  EXPECT_EQ(buildMessage("f0,s1,f7", twins), (Bytes{0xF0, 0x01, 0x02, 0xF7}));
}

TEST(SysExTemplateTest, BuildMessageIsNotLimitedTo255Bytes) {
  std::string text = "f0";
  for (int i = 0; i < 299; ++i) text += ",s1";
  text += ",f7";
  const Bytes built = buildMessage(text, stu(0x11, 0, 0));
  ASSERT_EQ(built.size(), 301u);
  EXPECT_EQ(built.front(), 0xF0);
  EXPECT_EQ(built[256], 0x11);
  EXPECT_EQ(built.back(), 0xF7);
}

TEST(SysExTemplateTest, MatchesTemplate) {
  struct Case {
    Bytes bytes;
    const char* text;
    bool expected;
  };
  const Bytes nova = {0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x42, 0x02};
  const std::vector<Case> cases = {
      {nova, "f0,00,20,29,01,21,ff,02", true},
      {{0xF0, 0x00, 0x20, 0x29, 0x01, 0x21, 0x42, 0x03}, "f0,00,20,29,01,21,ff,02", false},
      {{0xF0, 0x01}, "F0,FF", false},
      {{0xF0, 0xFF}, "F0,FF", true},
      {{0xF0, 0x55, 0x10}, "f0,,10", true},  // an empty field is a wildcard position
      {{0xF0, 0x55, 0x10}, "f0,s1,10", true},
      {{0xF0, 0x55, 0x10}, "f0,x1,10", true},
      {{0xF0}, "f0,10", false},  // the literal lies beyond the bytes
      {{0xF0}, "f0,ff,s1", true},
      {{}, "", true},
  };
  for (const Case& c : cases) EXPECT_EQ(matchesTemplate(c.bytes, c.text), c.expected) << c.text;
}

TEST(SysExTemplateTest, FirstMismatchNamesTheFailingLiteral) {
  const Bytes bytes = {0xF0, 0x00, 0x21, 0x29};
  EXPECT_EQ(firstMismatch(bytes, "f0,00,20,29"), 2u);
  EXPECT_EQ(firstMismatch(bytes, "f0,00,ff,29,01"), 4u);
  EXPECT_EQ(firstMismatch(bytes, "f0,s1,21"), std::nullopt);
}

TEST(SysExTemplateTest, ExtractValues) {
  struct Case {
    Bytes bytes;
    const char* text;
    std::int32_t s, t, u;
  };
  const std::vector<Case> cases = {
      {{0xF0, 0x7D, 0x03, 0x10, 0x02, 0x01, 0x05}, "f0,7d,u1,10,t1,s2,s1", 133, 2, 3},
      {{0x01, 0x05}, "t2,t1", 0, 133, 0},
      {{0x03, 0x05}, "t2,t1", 0, 133, 0},
      {{0x0A, 0x05}, "s4,s3", 0xA5, 0, 0},
      {{0xF0, 0x09, 0x07}, "f0,,s1", 0, 0, 0},  // an empty field ends the template
      {{0xF0, 0x09}, "f0,s1,t1", 9, 0, 0},      // positions beyond the bytes add nothing
      {{0x33}, "s", 0x33, 0, 0},
  };
  for (const Case& c : cases) {
    auto variables = stu(99, 99, 99);
    extractValues(c.bytes, c.text, variables);
    EXPECT_EQ(variables[0].value, c.s) << c.text;
    EXPECT_EQ(variables[1].value, c.t) << c.text;
    EXPECT_EQ(variables[2].value, c.u) << c.text;
  }
}

TEST(SysExTemplateTest, ExtractValuesOrsIntoEveryVariableOfTheLetter) {
  std::vector<TemplateVariable> twins = {{"s", 7}, {"sx", 7}};
  extractValues(Bytes{0x12}, "s1", twins);
  EXPECT_EQ(twins[0].value, 0x12);
  EXPECT_EQ(twins[1].value, 0x12);
}

}  // namespace
}  // namespace banklore
