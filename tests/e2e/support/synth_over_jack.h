// What every end-to-end test shares: a JACK server of the suite's own, a fresh folder per test
// with a copy of the shipped definitions, and banklore-virtual-synth started with the faults a
// test asks for.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "core/instrument_definition.h"
#include "core/patch.h"
#include "support/jack_server.h"
#include "support/synth_process.h"

namespace banklore::testing {

class SynthOverJack : public ::testing::Test {
 protected:
  using Bytes = std::vector<std::uint8_t>;

  static void SetUpTestSuite() { server_ = std::make_unique<test::JackServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  // `area` names the folder under the tests' scratch folder that holds one folder per test.
  explicit SynthOverJack(std::string area) : area_(std::move(area)) {}

  void SetUp() override {
    if (!server_->running()) GTEST_SKIP() << "No JACK server: " << server_->whyNot();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::string(BANKLORE_TEST_TMPDIR) + "/" + area_ + "/" + info->name() + "/";
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::copy_file(BANKLORE_IDF, dir_ + "banklore.idf");
    setenv("BANKLORE_MIDI_API", "jack", 1);
  }
  void TearDown() override { synth_.reset(); }

  void startSynth(std::vector<std::string> faults, const std::string& instrument = "Virtual") {
    std::vector<std::string> options = {"--instrument", instrument, "--idf", dir_ + "banklore.idf"};
    options.insert(options.end(), faults.begin(), faults.end());
    synth_ = std::make_unique<test::SynthProcess>(BANKLORE_VIRTUAL_SYNTH, options,
                                                  dir_ + "synth.syx", dir_ + "synth.log");
    ASSERT_TRUE(synth_->waitForPorts()) << "see " << dir_ << "synth.log";
  }
  // Waits until the synth has stored `count` patches.
  void waitForStored(long count) {
    EXPECT_TRUE(synth_->waitForLines("patch slot", count)) << "see " << dir_ << "synth.log";
  }
  // What the synth holds, as it wrote it when it was stopped.
  Bytes stopSynth() {
    EXPECT_TRUE(synth_->stop()) << "the synth did not end cleanly; see " << dir_ << "synth.log";
    return synth_->dump();
  }

  // What the window's Setup stores for the synth playing `instrument`, in the settings section its
  // definition names: the synth's ports (or another input), the first device ID, `delayMs` after
  // requests and sends.
  void writeSettings(const std::string& instrument, int delayMs,
                     const std::string& in = "banklore-virtual-synth:out") const {
    const InstrumentDefinition definition(dir_ + "banklore.idf", instrument, nullptr);
    std::ofstream(dir_ + "banklore.ini")
        << "[General]\nInstrument=" << instrument << "\n[" << definition.Settings() << "]\nMidiIN="
        << in << "\nMidiOUT=banklore-virtual-synth:in\nDeviceID=0\nRequestDelay=" << delayMs
        << "\nSendDelay=" << delayMs << "\n";
  }

  // A patch of the synth's own kind for `slot`, named "Sent <label>" and checksummed, to be sent.
  static Bytes sentPatch(InstrumentDefinition& definition, int slot) {
    Patch patch(definition);
    Bytes bytes(static_cast<std::size_t>(definition.PatchSize()),
                static_cast<std::uint8_t>(slot & 0x7F));
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    patch.loadBytes(bytes);
    patch.setDeviceId(0);
    patch.placeInSlot(slot);
    patch.setName("Sent " + definition.patchLabel(slot));
    patch.updateChecksum();
    EXPECT_TRUE(patch.isValid()) << slot;
    return Bytes(patch.bytes().begin(), patch.bytes().end());
  }

  // A bank's patches back to back, as the synth's dump holds them.
  static Bytes joined(const std::vector<Patch>& slots) {
    Bytes all;
    for (const Patch& patch : slots)
      all.insert(all.end(), patch.bytes().begin(), patch.bytes().end());
    return all;
  }

  static inline std::unique_ptr<test::JackServer> server_;
  const std::string area_;
  std::string dir_;
  std::unique_ptr<test::SynthProcess> synth_;
};

}  // namespace banklore::testing
