// What `banklore` makes of the words after its name.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace banklore {
namespace {

using Action = CommandLine::Action;
using Words = std::vector<std::string>;

TEST(CommandLineTest, FilesOptionsAndTheirPrecedence) {
  const struct {
    Words arguments;
    Action action;
    Words files, ignored;
    std::string error;
  } cases[] = {
      {{}, Action::Run, {}, {}, ""},
      {{"notes.txt", "/a/Bank A.syx", "b.MID", "-"},
       Action::Run,
       {"/a/Bank A.syx", "b.MID"},
       {"notes.txt", "-"},
       ""},
      {{"--", "-x.syx", "--help"}, Action::Run, {"-x.syx"}, {"--help"}, ""},
      {{"a.syx", "--version"}, Action::Version, {"a.syx"}, {}, ""},
      {{"--bogus", "--version", "-h"}, Action::Help, {}, {}, "unknown option --bogus"},
      {{"--bogus", "a.syx", "-q"}, Action::Error, {"a.syx"}, {}, "unknown option --bogus"},
      {{"--", "--version"}, Action::Run, {}, {"--version"}, ""},
  };
  for (const auto& c : cases) {
    std::string words;
    for (const std::string& w : c.arguments) words += "[" + w + "]";
    SCOPED_TRACE(words);
    const CommandLine line = parseCommandLine(c.arguments);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.files, c.files);
    EXPECT_EQ(line.ignored, c.ignored);
    EXPECT_EQ(line.error, c.error);
  }
}

}  // namespace
}  // namespace banklore
