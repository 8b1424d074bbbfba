// banklore-virtual-synth as a program: --help, usage errors (exit 2), unreadable or wrong input
// (exit 1), each with one line on stderr. A run that ends on SIGTERM and leaves its dump is what
// every end-to-end test does (tests/e2e).
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/temp_dir.h"
#include "support/program_run.h"

namespace banklore {
namespace {

class VirtualSynthToolTest : public ::testing::Test {
 protected:
  int run(const std::string& arguments) {
    const test::ProgramResult ran = test::runProgram(BANKLORE_VIRTUAL_SYNTH, arguments);
    out_ = ran.out;
    err_ = ran.err;
    return ran.exitCode;
  }
  int errLines() const { return static_cast<int>(std::count(err_.begin(), err_.end(), '\n')); }

  TempDir dir_;
  std::string out_, err_;
};

TEST_F(VirtualSynthToolTest, HelpUsageErrorsAndBadInput) {
  ASSERT_EQ(run("--help"), 0);
  EXPECT_NE(out_.find("--wrong-slot"), std::string::npos);
  for (const char* usage : {"--frobnicate", "--drop -1", "--delay soon", "--split 0", "--gap 5",
                            "--corrupt", "extra"}) {
    EXPECT_EQ(run(usage), 2) << usage;
    EXPECT_EQ(errLines(), 1) << usage << ": " << err_;
  }
  writeFile(dir_.file("short.syx"), std::string(100, '\x01'));
  const std::string idf = std::string(" --idf ") + BANKLORE_IDF;
  for (const std::string& input :
       {"--idf " + dir_.file("none.idf"), "--instrument Nope" + idf,
        "--instrument Virtual --load " + dir_.file("none.syx") + idf,
        "--instrument Virtual --load " + dir_.file("short.syx") + " --dump " +
            dir_.file("dump.syx") + idf,
        "--dump " + dir_.file("no-folder/dump.syx")}) {
    EXPECT_EQ(run(input), 1) << input;
    EXPECT_EQ(errLines(), 1) << input << ": " << err_;
    EXPECT_EQ(out_, "") << input;
    if (input.find("short.syx") != std::string::npos) {
      EXPECT_NE(err_.find("100 bytes are not whole patches of 128 bytes"), std::string::npos);
    }
  }
  EXPECT_EQ(dir_.entries(), 1);  // short.syx: no dump, no temporary file
}

}  // namespace
}  // namespace banklore
