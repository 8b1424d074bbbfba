// Detection over the in-process MIDI registry: a desk that says nothing, a loop that sends every
// request back, the instrument on one pair of ports, and a device of an identity no section knows.
#include "app/detection_run.h"

#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

// F0 7E <device> 06 02, manufacturer 7D, family 01 00, model 02 00, version 01 00 00 00, F7.
Bytes identityReply(std::uint8_t device, std::uint8_t model) {
  return {0xF0,  0x7E, device, 0x06, 0x02, 0x7D, 0x01, 0x00,
          model, 0x00, 0x01,   0x00, 0x00, 0x00, 0xF7};
}

using DetectionRunTest = AppTest;

// A device that hears on "<name>" (its output side, where the librarian sends) and answers on the
// input of the same name.
void device(const std::string& name, std::function<Bytes(const Bytes&)> answer) {
  loopback::addPort(name);
  loopback::setResponder(name, [name, answer](std::span<const std::uint8_t> m) {
    if (const Bytes reply = answer(Bytes(m.begin(), m.end())); !reply.empty())
      loopback::inject(name, reply);
  });
}

TEST_F(DetectionRunTest, DetectionFindsWhichPortsReachAnInstrumentAndWhichSectionItIs) {
  device("Desk", [](const Bytes&) { return Bytes{}; });
  device("Loop", [](const Bytes& m) { return m; });
  device("Synth", [](const Bytes&) { return identityReply(0x10, 0x02); });
  device("Odd", [](const Bytes&) { return identityReply(0x00, 0x03); });
  const std::vector<IdentitySection> sections = {{"Other", {0x7D, 0x01, 0x00, 0x09}, {}},
                                                 {"Virtual", {0x7D, -1, 0x00, 0x02}, {0x00, 0x10}}};
  DetectionRun run(makeLoopbackBackend, clock_, sections, 77);
  std::vector<DetectedInstrument> found;
  int tried = -1;
  run.start([&](std::vector<DetectedInstrument> f, int t) { found = std::move(f), tried = t; });
  while (run.running()) {
    ASSERT_TRUE(loopback::waitUntilIdle());
    clock_.advance(DetectionRun::kQuietMs);
  }
  EXPECT_EQ(tried, 4);
  ASSERT_EQ(found.size(), 2u);
  const auto seen = [](const DetectedInstrument& d) {
    return std::tuple(d.section, d.input, d.output, d.deviceIndex, d.reply.device);
  };
  EXPECT_EQ(seen(found[0]), std::tuple("Virtual", "Synth", "Synth", 1, 0x10));
  EXPECT_EQ(seen(found[1]), std::tuple("", "Odd", "Odd", -1, 0x00));
  for (const char* name : {"Desk", "Loop", "Synth", "Odd"}) {
    EXPECT_EQ(loopback::sentMessages(name),
              std::vector<Bytes>{Bytes(std::begin(kIdentityRequest), std::end(kIdentityRequest))})
        << name << ": one request each";
  }
}

TEST_F(DetectionRunTest, OnlySectionsWithAValidIdentityKeyTakePart) {
  writeFile("test.idf",
            "[Plain]\nNumTotalPatches=4\n[Known]\nIdentity=3e, 13, ff\nDeviceIDBytes=0,16\n"
            "[Typo]\nIdentity=3e,13x\n");
  const auto sections = identitySections(path("test.idf"));
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0].name, "Known");
  EXPECT_EQ(sections[0].pattern, (std::vector<int>{0x3E, 0x13, -1}));
  ASSERT_GE(sections[0].deviceIdBytes.size(), 2u);
  EXPECT_EQ(sections[0].deviceIdBytes[1], 16);
}

}  // namespace
}  // namespace banklore::testing
