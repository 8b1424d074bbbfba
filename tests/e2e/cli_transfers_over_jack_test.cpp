// banklore-cli fetch and send against banklore-virtual-synth, two programs on a JACK server of the
// test's own: the files a fetch writes compared byte for byte with what the synth holds, with and
// without the faults real instruments have; an instrument that is not there or does not answer;
// and a bank file sent, after which the synth holds its patches.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/instrument_definition.h"
#include "core/patch.h"
#include "e2e/support/synth_over_jack.h"
#include "files/midi_file.h"

namespace banklore::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::size_t kPatchSize = 128;  // the Virtual instrument's
constexpr const char* kPorts =
    " --in banklore-virtual-synth:out --out banklore-virtual-synth:in --device 0 --delay 0";

Bytes readBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes slotOf(const Bytes& dump, int slot) {
  const auto at = dump.begin() + static_cast<std::ptrdiff_t>(slot * kPatchSize);
  return Bytes(at, at + kPatchSize);
}

// The slots' patches of a dump as the window saves them: back to back, or one SysEx event a
// second apart in a Standard MIDI File.
Bytes expectedSyx(const Bytes& dump, const std::vector<int>& slots) {
  Bytes bytes;
  for (const int slot : slots) {
    const Bytes patch = slotOf(dump, slot);
    bytes.insert(bytes.end(), patch.begin(), patch.end());
  }
  return bytes;
}

Bytes expectedMid(const std::string& path, const Bytes& dump, const std::vector<int>& slots) {
  MidiFileWriter writer;
  EXPECT_TRUE(writer.Open(path, 96));
  for (std::size_t i = 0; i < slots.size(); ++i) {
    EXPECT_TRUE(writer.WriteSysEx(slotOf(dump, slots[i]), i == 0 ? 0 : 192));
  }
  EXPECT_TRUE(writer.Close());
  return readBytes(path);
}

std::vector<int> firstBankAnd200() {
  std::vector<int> slots;
  for (int slot = 0; slot < 128; ++slot) slots.push_back(slot);
  slots.push_back(200);
  return slots;
}

class CliTransfersOverJack : public SynthOverJack {
 protected:
  CliTransfersOverJack() : SynthOverJack("e2e-cli") {}
  void SetUp() override {
    SynthOverJack::SetUp();
    if (IsSkipped()) return;
    writeSettings("Virtual", 0);
    std::ofstream(dir_ + "empty.ini") << "";
  }

  // Runs banklore-cli with `arguments` (shell words) on the test's definitions; its exit code.
  // `limit`: the timeout(1) options that end it (by default a hang after two minutes).
  int cli(const std::string& arguments, const std::string& limit = "120") {
    const std::string command = "timeout " + limit + " " + std::string(BANKLORE_CLI) + " " +
                                arguments + " --idf '" + dir_ + "banklore.idf' >'" + dir_ +
                                "out' 2>'" + dir_ + "err' </dev/null";
    const auto started = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    took_ = std::chrono::steady_clock::now() - started;
    const Bytes out = readBytes(dir_ + "out"), err = readBytes(dir_ + "err");
    out_.assign(out.begin(), out.end());
    err_.assign(err.begin(), err.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ini() const { return " --ini '" + dir_ + "banklore.ini' "; }
  bool said(const std::string& text) const {
    return out_.find(text) != std::string::npos || err_.find(text) != std::string::npos;
  }

  std::string out_, err_;
  std::chrono::duration<double> took_{};
};

TEST_F(CliTransfersOverJack, FetchesSlotsIntoSyxAndMidFilesByteForByte) {
  startSynth({});
  ASSERT_EQ(cli("ports"), 0) << err_;
  EXPECT_NE(out_.find("MidiIN=banklore-virtual-synth:out\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("MidiOUT=banklore-virtual-synth:in\n"), std::string::npos) << out_;

  // Ports, device and delay from the settings, then all of them given on the command line.
  ASSERT_EQ(cli("fetch --slots 0-127,200" + ini() + "'" + dir_ + "backup.syx'"), 0) << err_;
  EXPECT_EQ(out_.rfind("Fetched 129 of 129 patches into " + dir_ + "backup.syx in ", 0), 0u)
      << out_;
  EXPECT_EQ(err_, "");
  std::cout << out_;
  ASSERT_EQ(cli("fetch --slots 0-127,200 --instrument Virtual --ini '" + dir_ + "empty.ini'" +
                kPorts + " '" + dir_ + "backup.mid'"),
            0)
      << err_;
  const Bytes held = stopSynth();
  ASSERT_EQ(held.size(), 256 * kPatchSize);
  EXPECT_TRUE(readBytes(dir_ + "backup.syx") == expectedSyx(held, firstBankAnd200()));
  EXPECT_TRUE(readBytes(dir_ + "backup.mid") ==
              expectedMid(dir_ + "expected.mid", held, firstBankAnd200()));
}

// Every kind of fault at once: each answer is asked for again until the right patch is in.
TEST_F(CliTransfersOverJack, FetchesThroughDroppedCorruptLateAndWrongSlotAnswers) {
  startSynth({"--drop", "40", "--corrupt", "11", "--wrong-slot", "17", "--delay", "3"});
  ASSERT_EQ(cli("fetch --slots 0-127,200 --verbose" + ini() + "'" + dir_ + "backup.syx'"), 0)
      << err_;
  std::cout << out_;
  EXPECT_NE(err_.find("Packet error, retrying patch..."), std::string::npos) << err_;
  EXPECT_NE(err_.find("Got patch 200\n"), std::string::npos) << err_;
  const Bytes held = stopSynth();
  EXPECT_TRUE(readBytes(dir_ + "backup.syx") == expectedSyx(held, firstBankAnd200()));
}

// Every answer comes twice and after the engine has asked again, and the patch messages leave
// part of the slot to the request: the file holds each asked slot's own patch, and no other.
TEST_F(CliTransfersOverJack, LateRepeatedAnswersNamingPartOfTheSlotLandInTheirOwnSlots) {
  for (const PartlyNamed& c : kPartlyNamed) {
    SCOPED_TRACE(c.instrument);
    startSynth(kLateTwice, c.instrument);
    writeSettings(c.instrument, kDefaultDelayMs);
    const std::string file = dir_ + "late.syx";
    std::filesystem::remove(file);  // the last case's
    EXPECT_EQ(cli("fetch --verbose --slots " + listOf(c.slots, ",") + ini() + "'" + file + "'"), 0)
        << err_;
    std::cout << c.instrument << ": " << out_;
    // No patch was taken for a slot that was not asked for.
    std::vector<int> strays;
    std::istringstream lines(err_);
    for (std::string line; std::getline(lines, line);) {
      int slot = -1;
      if (std::sscanf(line.c_str(), "banklore-cli: Got patch %d", &slot) == 1 &&
          std::ranges::find(c.slots, slot) == c.slots.end()) {
        strays.push_back(slot);
      }
    }
    EXPECT_EQ(listOf(strays, " "), "") << err_;
    const Bytes held = stopSynth();
    const auto size = static_cast<std::size_t>(
        InstrumentDefinition(dir_ + "banklore.idf", c.instrument, nullptr).PatchSize());
    const Bytes written = readBytes(file);
    EXPECT_EQ(written.size(), c.slots.size() * size);
    EXPECT_EQ(slotsHeld(written, held, size), listOf(c.slots, " "));
  }
}

TEST_F(CliTransfersOverJack, WithoutTheSynthFetchEndsAtOnceAndNamesTheMissingSlots) {
  writeBytes(dir_ + "backup.syx", {0xF0, 0xF7});  // last night's backup
  EXPECT_EQ(cli("fetch --slots 3,5" + ini() + "'" + dir_ + "backup.syx'"), 1);
  EXPECT_LT(took_.count(), 10.0);
  EXPECT_NE(err_.find("there is no MIDI input named banklore-virtual-synth:out"), std::string::npos)
      << err_;
  EXPECT_EQ(out_.rfind("Fetched 0 of 2 patches in ", 0), 0u) << out_;
  EXPECT_NE(
      out_.find(" s; " + dir_ + "backup.syx was not written; missing slots 3,5 (A003, A005).\n"),
      std::string::npos)
      << out_;
  EXPECT_EQ(readBytes(dir_ + "backup.syx"), (Bytes{0xF0, 0xF7}));
}

// The instrument is connected but never answers: the engine's seven requests, two seconds apart,
// then the slot is named missing.
TEST_F(CliTransfersOverJack, ASilentInstrumentTimesOutAndTheSlotIsNamedMissing) {
  startSynth({"--drop", "1"});
  writeBytes(dir_ + "backup.mid", {0x4D, 0x54});
  EXPECT_EQ(cli("fetch --slots 7" + ini() + "'" + dir_ + "backup.mid'"), 1);
  EXPECT_GT(took_.count(), 12.0);
  EXPECT_LT(took_.count(), 20.0);
  EXPECT_NE(err_.find("banklore-cli: slot 7 (A007): Receive Timeout!\n"), std::string::npos)
      << err_;
  EXPECT_NE(out_.find(" s; " + dir_ + "backup.mid was not written; missing slots 7 (A007).\n"),
            std::string::npos)
      << out_;
  EXPECT_EQ(readBytes(dir_ + "backup.mid"), (Bytes{0x4D, 0x54}));
  stopSynth();
}

// Ctrl+C during a fetch: the slots that arrived are written, the rest named missing.
TEST_F(CliTransfersOverJack, AnInterruptedFetchWritesWhatArrived) {
  startSynth({"--delay", "20"});  // a whole bank would take more than five seconds
  EXPECT_EQ(cli("fetch" + ini() + "'" + dir_ + "backup.syx'", "--preserve-status -s INT 1.5"), 1);
  EXPECT_LT(took_.count(), 5.0);
  EXPECT_NE(err_.find("banklore-cli: interrupted\n"), std::string::npos) << err_;
  std::size_t arrived = 0;
  ASSERT_EQ(std::sscanf(out_.c_str(), "Fetched %zu of 256 patches into", &arrived), 1) << out_;
  EXPECT_GT(arrived, 0u);
  EXPECT_LT(arrived, 256u);
  EXPECT_NE(out_.find("; missing slots " + std::to_string(arrived) + "-255.\n"), std::string::npos)
      << out_;
  const Bytes held = stopSynth();
  std::vector<int> first(arrived);
  for (std::size_t i = 0; i < arrived; ++i) first[i] = static_cast<int>(i);
  EXPECT_TRUE(readBytes(dir_ + "backup.syx") == expectedSyx(held, first));
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
  Bytes syx;
  for (const int i : {2, 0, 1}) syx.insert(syx.end(), patches[i].begin(), patches[i].end());
  writeBytes(dir_ + "bank.syx", syx);
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_ + "bank.mid", 96));
  for (const Bytes& patch : patches) ASSERT_TRUE(writer.WriteSysEx(patch, 192));
  ASSERT_TRUE(writer.WriteSysEx(Bytes(patches[0].begin(), patches[0].end() - 2), 192));
  ASSERT_TRUE(writer.Close());

  struct Case {
    const char* file;
    int exitCode;
    const char* problem;
  };
  for (const Case& c : {Case{"bank.syx", 0, ""},
                        Case{"bank.mid", 1, "1 packet is not a patch of Virtual; not sent"}}) {
    startSynth({});
    EXPECT_EQ(cli("send" + ini() + "'" + dir_ + c.file + "'"), c.exitCode) << c.file << err_;
    EXPECT_EQ(
        out_.rfind(
            "Sent 3 of 3 patches from " + dir_ + c.file + " to banklore-virtual-synth:in in ", 0),
        0u)
        << out_;
    EXPECT_NE(err_.find(c.problem), std::string::npos) << err_;
    std::this_thread::sleep_for(200ms);  // the synth stores what the last messages carried
    Bytes expected = before;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      std::copy(patches[i].begin(), patches[i].end(),
                expected.begin() + static_cast<std::ptrdiff_t>(slots[i] * kPatchSize));
    }
    EXPECT_TRUE(stopSynth() == expected) << c.file << ": the synth holds something else";
  }
}

}  // namespace
}  // namespace banklore::testing
