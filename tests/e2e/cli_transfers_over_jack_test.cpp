// banklore-cli fetch and send against banklore-virtual-synth, two programs on a JACK server of the
// test's own: the files a fetch writes compared byte for byte with what the synth holds; an
// instrument that is not there or does not answer; a fetch interrupted; and a bank file sent,
// after which the synth holds its patches; a patch auditioned, which it holds in its edit buffer
// alone; two synths detected. (Fetches through faulty answers run in the window's suite,
// transfers_over_jack_test.cpp: both drive the same request engine.)
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "e2e/support/synth_over_jack.h"
#include "files/midi_file.h"
#include "support/program_run.h"

namespace banklore::testing {
namespace {

constexpr std::size_t kPatchSize = 128;  // the Virtual instrument's
constexpr const char* kPorts =
    " --in banklore-virtual-synth:out --out banklore-virtual-synth:in --device 0 --delay 0";

std::string readText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// The slots' patches of a dump back to back, as the window saves them.
std::string expectedSyx(const std::vector<std::uint8_t>& dump, const std::vector<int>& slots) {
  std::string bytes;
  for (const int slot : slots) {
    bytes.append(dump.begin() + slot * kPatchSize, dump.begin() + (slot + 1) * kPatchSize);
  }
  return bytes;
}

class CliTransfersOverJack : public SynthOverJack {
 protected:
  CliTransfersOverJack() : SynthOverJack("e2e-cli") {}
  void SetUp() override {
    SynthOverJack::SetUp();
    if (!IsSkipped()) writeSettings("Virtual", 0);
  }
  std::vector<std::string> cliWith(const std::string& arguments) const {
    return test::commandLine(BANKLORE_CLI, arguments + " --idf " + dir_ + "banklore.idf");
  }
  // Runs banklore-cli with `arguments` on the test's definitions; its exit code.
  int cli(const std::string& arguments) {
    const test::ProgramResult ran = test::Program(cliWith(arguments)).finish();
    out_ = ran.out;
    err_ = ran.err;
    return ran.exitCode;
  }
  std::string ini() const { return " --ini " + dir_ + "banklore.ini "; }
  // The test's own archive rather than the one beside banklore-cli.
  std::string archive() const { return " --archive " + dir_ + "archive.sqlite "; }

  std::string out_, err_;
};

TEST_F(CliTransfersOverJack, FetchesSlotsIntoSyxAndMidFilesByteForByte) {
  startSynth({});
  ASSERT_EQ(cli("ports"), 0) << err_;
  EXPECT_NE(out_.find("MidiIN=banklore-virtual-synth:out\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("MidiOUT=banklore-virtual-synth:in\n"), std::string::npos) << out_;
  // Ports, device and delay from the settings, then all of them given on the command line.
  ASSERT_EQ(cli("fetch --slots 0-127,200" + archive() + ini() + dir_ + "backup.syx"), 0) << err_;
  EXPECT_EQ(out_.rfind("Fetched 129 of 129 patches into " + dir_ + "backup.syx in ", 0), 0u)
      << out_;
  EXPECT_EQ(err_, "");
  std::ofstream(dir_ + "empty.ini") << "";
  ASSERT_EQ(cli("fetch --slots 0-127,200 --instrument Virtual --ini " + dir_ + "empty.ini" +
                kPorts + archive() + dir_ + "backup.mid"),
            0)
      << err_;
  const Bytes held = stopSynth();
  ASSERT_EQ(held.size(), 256 * kPatchSize);
  std::vector<int> slots(128);
  for (int slot = 0; slot < 128; ++slot) slots[slot] = slot;
  slots.push_back(200);
  EXPECT_TRUE(readText(dir_ + "backup.syx") == expectedSyx(held, slots));
  // The same patches as SysEx events a second apart in a Standard MIDI File.
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_ + "expected.mid", 96));
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const std::string patch = expectedSyx(held, {slots[i]});
    ASSERT_TRUE(writer.WriteSysEx(Bytes(patch.begin(), patch.end()), i == 0 ? 0 : 192));
  }
  ASSERT_TRUE(writer.Close());
  EXPECT_TRUE(readText(dir_ + "backup.mid") == readText(dir_ + "expected.mid"));
  // The archive saw each patch twice; one found by its name is given back as it arrived.
  ASSERT_EQ(cli("archive --name a005 --export " + dir_ + "a005.syx" + archive() + ini()), 0) << err_;
  EXPECT_TRUE(out_.starts_with("Virtual\tVirtual A005\t") && out_.ends_with("\t2\tfetched from A005\n") &&
              out_.find('\n') + 1 == out_.size()) << out_;
  EXPECT_TRUE(readText(dir_ + "a005.syx") == expectedSyx(held, {5}));
}

// No synth at all, or one that never answers (the engine's requests time out): the slots are
// named missing and last night's backup stays as it was.
TEST_F(CliTransfersOverJack, AMissingOrSilentInstrumentLeavesTheOldFileAndNamesTheMissingSlots) {
  struct Case {
    bool synth;
    const char* file;
    const char* slots;
    const char* told;
    const char* missing;
  };
  for (const Case& c :
       {Case{false, "backup.syx", "3,5", "there is no MIDI input named banklore-virtual-synth:out",
             "3,5 (A003, A005)"},
        Case{true, "backup.mid", "7", "banklore-cli: slot 7 (A007): Receive Timeout!\n",
             "7 (A007)"}}) {
    if (c.synth) startSynth({"--drop", "1"});
    std::ofstream(dir_ + c.file) << "old";
    EXPECT_EQ(cli(std::string("fetch --slots ") + c.slots + ini() + dir_ + c.file), 1);
    EXPECT_NE(err_.find(c.told), std::string::npos) << err_;
    EXPECT_EQ(out_.rfind("Fetched 0 of ", 0), 0u) << out_;
    EXPECT_NE(
        out_.find(" s; " + dir_ + c.file + " was not written; missing slots " + c.missing + ".\n"),
        std::string::npos)
        << out_;
    EXPECT_EQ(readText(dir_ + c.file), "old");
  }
}

// Ctrl+C during a fetch: the slots that arrived are written, the rest named missing.
TEST_F(CliTransfersOverJack, AnInterruptedFetchWritesWhatArrived) {
  startSynth({"--delay", "20"});
  test::Program fetch(cliWith("fetch --verbose" + archive() + ini() + dir_ + "backup.syx"));
  ASSERT_TRUE(fetch.waitUntil([&] {
    return fetch.err().find("Got patch 10\n") != std::string::npos;
  })) << fetch.err();
  fetch.signal(SIGINT);
  const test::ProgramResult ran = fetch.finish();
  EXPECT_EQ(ran.exitCode, 1);
  EXPECT_NE(ran.err.find("banklore-cli: interrupted\n"), std::string::npos) << ran.err;
  int arrived = 0;
  ASSERT_EQ(std::sscanf(ran.out.c_str(), "Fetched %d of 256 patches into", &arrived), 1) << ran.out;
  EXPECT_GT(arrived, 10);
  EXPECT_LT(arrived, 256);
  EXPECT_NE(ran.out.find("; missing slots " + std::to_string(arrived) + "-255.\n"),
            std::string::npos)
      << ran.out;
  std::vector<int> first(static_cast<std::size_t>(arrived));
  for (int i = 0; i < arrived; ++i) first[i] = i;
  EXPECT_TRUE(readText(dir_ + "backup.syx") == expectedSyx(stopSynth(), first));
  // The archive noted what arrived, and only that.
  EXPECT_EQ(cli("archive" + archive() + ini()), 0) << err_;
  EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), arrived) << out_;
}

TEST_F(CliTransfersOverJack, SendsABankFileSoThatTheSynthHoldsItsPatches) {
  startSynth({});
  const Bytes before = stopSynth();
  ASSERT_EQ(before.size(), 256 * kPatchSize);
  // Three patches of the synth's own kind under new names, each for the slot it names.
  InstrumentDefinition definition(dir_ + "banklore.idf", "Virtual", nullptr);
  const std::vector<int> slots = {3, 130, 255};
  std::vector<Bytes> patches;
  for (const int slot : slots) patches.push_back(sentPatch(definition, slot));
  // The raw file lists them out of order; the MIDI file also holds a patch cut short, which is
  // not sent and makes the send a failure, while the others still go.
  std::ofstream syx(dir_ + "bank.syx", std::ios::binary);
  for (const int i : {2, 0, 1}) syx.write(reinterpret_cast<const char*>(patches[i].data()), 128);
  syx.close();
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_ + "bank.mid", 96));
  for (const Bytes& patch : patches) ASSERT_TRUE(writer.WriteSysEx(patch, 192));
  ASSERT_TRUE(writer.WriteSysEx(Bytes(patches[0].begin(), patches[0].end() - 2), 192));
  ASSERT_TRUE(writer.Close());
  // An archive under a file cannot be made: told once, and the send is as good as it was.
  const std::string off = "banklore-cli: The patch archive is off this run: cannot write to " +
                          dir_ + "bank.syx/ (Not a directory).\n";
  for (const auto& [file, exitCode, problem, archived] :
       {std::tuple{"bank.syx", 0, off, " --archive " + dir_ + "bank.syx/a.sqlite "},
        std::tuple{"bank.mid", 1, std::string("1 packet is not a patch of Virtual; not sent"), archive()}}) {
    startSynth({});
    EXPECT_EQ(cli("send" + archived + ini() + dir_ + file), exitCode) << file << err_;
    EXPECT_EQ(
        out_.rfind("Sent 3 of 3 patches from " + dir_ + file + " to banklore-virtual-synth:in in ",
                   0),
        0u)
        << out_;
    EXPECT_NE(err_.find(problem), std::string::npos) << err_;
    EXPECT_EQ(err_.find(off), problem == off ? err_.rfind(off) : std::string::npos) << err_;
    waitForStored(3);
    Bytes expected = before;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      std::copy(patches[i].begin(), patches[i].end(), expected.begin() + slots[i] * kPatchSize);
    }
    EXPECT_TRUE(stopSynth() == expected) << file << ": the synth holds something else";
  }
  EXPECT_EQ(cli("archive --name b002" + archive() + ini()), 0) << err_;
  EXPECT_TRUE(out_.starts_with("Virtual\tSent B002\t") && out_.ends_with("\t1\tsent to B002\n")) << out_;
}

// A patch of a bank file played in the edit buffer: the synth has it there, and its slots are as
// they were.
TEST_F(CliTransfersOverJack, AuditionPlaysAPatchInTheEditBufferAndStoresNothing) {
  InstrumentDefinition definition(dir_ + "banklore.idf", "Virtual", nullptr);
  const Bytes patch = sentPatch(definition, 5);
  std::ofstream(dir_ + "one.syx", std::ios::binary)
      .write(reinterpret_cast<const char*>(patch.data()), kPatchSize);
  startSynth({});
  const Bytes before = stopSynth();
  startSynth({});
  EXPECT_EQ(cli("audition" + ini() + dir_ + "one.syx a005"), 0) << err_;
  EXPECT_EQ(err_, "banklore-cli: Playing A005 Sent A005 in the edit buffer.\n");
  EXPECT_EQ(out_, "");
  EXPECT_TRUE(synth_->waitForLines("edit buffer, 126 bytes: Sent A005", 1));
  EXPECT_TRUE(stopSynth() == before) << "a slot changed";
}

// Two synths at once, found by their identities on the ports each answers on; an identity no
// section has is shown as its bytes, and alone is no success.
TEST_F(CliTransfersOverJack, DetectNamesTheSynthsSectionAndPortsByItsIdentity) {
  const auto ports = [](const std::string& name) {
    return "\tMidiIN=" + name + ":out\tMidiOUT=" + name + ":in";
  };
  startSynth({});
  test::SynthProcess stranger(BANKLORE_VIRTUAL_SYNTH,
                              {"--instrument", "Virtual", "--idf", dir_ + "banklore.idf", "--name",
                               "stranger", "--identity", "7d,01,02"},
                              dir_ + "stranger.syx", dir_ + "stranger.log");
  ASSERT_TRUE(stranger.waitForPorts()) << "see " << dir_ << "stranger.log";
  EXPECT_EQ(cli("detect"), 0) << err_;
  const std::string known = "Virtual" + ports("banklore-virtual-synth") + "\tDeviceID=0\n";
  const std::string unknown = "? 7D 01 02 00 00 00 00 00 00" + ports("stranger") + "\tDeviceID=?\n";
  EXPECT_TRUE(out_ == known + unknown || out_ == unknown + known) << out_;
  stopSynth();
  EXPECT_EQ(cli("detect"), 1) << err_;
  EXPECT_EQ(out_, unknown);
}

}  // namespace
}  // namespace banklore::testing
