// The tools under a file-size limit, started as a shell starts them (SIGXFSZ at its default): a
// write past the limit fails as on a full disk and is reported, instead of the signal ending the
// program with its files half written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/temp_dir.h"

namespace banklore {
namespace {

using namespace std::chrono_literals;

constexpr rlim_t kLimit = 4096;

pid_t startLimited(const std::string& command, bool loopback = false) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (loopback) ::setenv("BANKLORE_MIDI_API", "loopback", 1);
    ::signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{kLimit, kLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), nullptr);
    ::_exit(127);
  }
  return child;
}

std::string howItEnded(int status) {
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "exit " + std::to_string(WEXITSTATUS(status));
}

TEST(FileSizeLimitTest, TheCliReportsAReportItCannotWrite) {
  TempDir dir;
  // 200 packets: a report of some 16 KB, of which 4 KB fit.
  writeFile(dir.file("bank.syx"), std::string(200 * 128, '\0'));
  const pid_t child = startLimited(std::string(BANKLORE_CLI) + " inspect '" + dir.file("bank.syx") +
                                   "' --idf '" + BANKLORE_IDF + "' --instrument Virtual >'" +
                                   dir.file("out") + "' 2>'" + dir.file("err") + "' </dev/null");
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(howItEnded(status), "exit 1");
  EXPECT_EQ(readFile(dir.file("err")), "banklore-cli: cannot write the output\n");
}

TEST(FileSizeLimitTest, TheVirtualSynthReportsADumpItCannotWriteAndLeavesNoTemporaryFile) {
  TempDir dir;
  const pid_t child =
      startLimited(std::string(BANKLORE_VIRTUAL_SYNTH) + " --instrument Virtual --idf '" +
                       BANKLORE_IDF + "' --name limit-test --dump '" + dir.file("dump.syx") +
                       "' >'" + dir.file("out") + "' 2>'" + dir.file("err") + "' </dev/null",
                   true);
  ASSERT_GT(child, 0);
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 200 && readFile(dir.file("out")).find("out: ") == std::string::npos; ++i) {
    if ((ended = ::waitpid(child, &status, WNOHANG) == child)) break;
    std::this_thread::sleep_for(50ms);
  }
  if (ended && readFile(dir.file("err")).find("cannot open the MIDI ports") != std::string::npos) {
    GTEST_SKIP() << "the loopback system offers no ports of a program's own yet";
  }
  ASSERT_FALSE(ended) << howItEnded(status) << ": " << readFile(dir.file("err"));
  ::kill(child, SIGTERM);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  // 256 patches of 128 bytes do not fit in 4 KB.
  EXPECT_EQ(howItEnded(status), "exit 1");
  EXPECT_EQ(readFile(dir.file("err")),
            "banklore-virtual-synth: cannot write " + dir.file("dump.syx") + "\n");
  EXPECT_EQ(dir.entries(), 2) << "out and err only: no dump, no temporary file";
}

}  // namespace
}  // namespace banklore
