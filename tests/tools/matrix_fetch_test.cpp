// The shipped Matrix-1000 section fetching from the virtual synth configured as a Matrix-1000,
// through the librarian's request engine, in process. The instrument's dumps name only the
// program: each answer belongs to the bank the bank select before its request chose.
#include <gtest/gtest.h>

#include <mutex>

#include "app/event_loop.h"
#include "app/request_run.h"
#include "core/definitions.h"
#include "loopback_synth.h"
#include "midi/loopback_backend.h"
#include "midi/midi_port.h"

namespace banklore {
namespace {

using namespace std::chrono_literals;

struct Observer : TransferObserver {
  void showStatus(const std::string& text) override { status = text; }
  void finishStatus(const std::string& text) override { status = text; }
  void beginProgress(const std::string&, int) override {}
  void stepProgress() override { ++steps; }
  void slotChanged(int, bool) override {}
  void beep() override {}
  void message(const std::string& text) override { messages.push_back(text); }
  std::string status;
  int steps = 0;
  std::vector<std::string> messages;
};

TEST(MatrixFetchTest, SlotsOfEveryBankArriveWhereTheyWereAskedFor) {
  loopback::reset();
  MidiPort port(makeLoopbackBackend());
  InstrumentDefinition d(BANKLORE_IDF, "Matrix-1000", &port);
  ASSERT_EQ(d.PatchSize(), 275);
  std::mutex mutex;
  std::vector<std::pair<MessageKind, std::int32_t>> seen;
  LoopbackSynth synth(VirtualSynth(d), "matrix", [&](const Reaction& r) {
    std::lock_guard lock(mutex);
    seen.emplace_back(r.kind, r.slot);
  });
  EventLoop loop;
  Observer observer;
  RequestRun run(loop, observer);
  port.SetDataCallback([&](MidiPort&, std::span<const std::uint8_t> bytes) {
    loop.postToUiThread([&run, message = copy(bytes)] { run.onMessage(message); });
  });
  port.SetInputDeviceName(synth.outputPort());
  port.SetOutputDeviceName(synth.inputPort());
  ASSERT_TRUE(port.Open());

  const std::vector<int> slots = {0, 150, 999};
  std::vector<Patch> bank(static_cast<std::size_t>(d.NumTotalPatches()), Patch(d));
  const Bytes placeholder = copy(bank[50].bytes());
  run.start(d, bank, slots, 0, 0);
  ASSERT_TRUE(loop.runUntil([&] { return !run.active(); }, 10s));
  port.Close();

  EXPECT_EQ(observer.status, "Request completed.");
  EXPECT_EQ(observer.steps, 3);
  EXPECT_TRUE(observer.messages.empty()) << observer.messages.front();
  for (const int slot : slots) {
    const Bytes held =
        synth.player().withSynth([slot](const VirtualSynth& s) { return copy(s.patch(slot)); });
    EXPECT_EQ(copy(bank[static_cast<std::size_t>(slot)].bytes()), held) << slot;
  }
  EXPECT_EQ(copy(bank[50].bytes()), placeholder) << "program 50 of bank 0 was not asked for";
  // Each request after its own bank select, as separate messages; one answer each.
  std::lock_guard lock(mutex);
  const std::vector<std::pair<MessageKind, std::int32_t>> expected = {
      {MessageKind::PatchSelect, 0},   {MessageKind::Request, 0},
      {MessageKind::PatchSelect, 100}, {MessageKind::Request, 150},
      {MessageKind::PatchSelect, 900}, {MessageKind::Request, 999}};
  EXPECT_EQ(seen, expected);
  loopback::reset();
}

}  // namespace
}  // namespace banklore
