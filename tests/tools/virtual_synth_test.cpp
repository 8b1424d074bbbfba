// The virtual synth in process: requests and patch messages made by the librarian's own codec go
// in, and what comes out must pass the librarian's own checks. Then each fault, the dump, garbage,
// and the player over the loopback MIDI registry.
#include "virtual_synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/audition.h"
#include "core/definitions.h"
#include "core/patch.h"
#include "loopback_synth.h"
#include "midi/loopback_backend.h"
#include "midi/midi_port.h"

namespace banklore {
namespace {

using namespace std::chrono_literals;

// No bank in the request (the preceding PatchSelect names it), a request checksum, offsets in
// every formula, a two-byte bank in the header, a checksum over part of the data area.
constexpr char kOffsets[] =
    "Request=f0,7d,u1,11,s1,00,f7\nRequestChecksumPos=-1\nRequestChecksumType=Range:1-4\n"
    "PatchSelect=f0,7e,t1,f7\nSend=f0,7d,u1,10,t2,t1,s1\nBankOffset=2\nBankRequestOffset=1\n"
    "PatchOffset=3\nNumPatchesPerBank=16\nNumTotalPatches=64\nDataSize=10\nNamePos=0\nNameLen=6\n"
    "ChecksumType=Range:7-15\nSendChecksumPos=-1\nFirstPatchNumber=1\n";

// A request field that builds no byte before the checksum, counted back from the request's end;
// a wildcard in the header, which carries the device byte.
constexpr char kSkipping[] =
    "Request=f0,7d,x1,u1,11,t1,s1,00,f7\nRequestChecksumPos=-1\nRequestChecksumType=Range:1-6\n"
    "Send=f0,7d,ff,10,t1,s1\nBankOffset=0\nDataSize=8\nNamePos=0\nNameLen=4\n";

// The librarian's side: a definition that records what it sends.
struct Librarian {
  explicit Librarian(const std::string& which) {
    if (which == "Nova") {
      definition = std::make_unique<InstrumentDefinition>("/nonexistent.idf", "Nova", &sent);
    } else if (which == "Virtual") {
      definition = std::make_unique<InstrumentDefinition>(BANKLORE_IDF, "Virtual", &sent);
    } else if (which == "Skipping") {
      definition = load(kSkipping, &sent);
    } else {
      definition = load(kOffsets, &sent);
    }
  }
  // The messages that request a slot: the patch select, if any, and the request.
  std::vector<Bytes> request(std::int32_t slot, int device = 0) {
    sent.sent.clear();
    Patch patch(*definition);
    patch.setDeviceId(device);
    patch.request(slot);
    return sent.sent;
  }
  InstrumentDefinition& d() { return *definition; }

  Recorder sent;
  std::unique_ptr<InstrumentDefinition> definition;
};

// The name field as a patch holds it: the generated name padded with spaces.
std::string paddedName(const InstrumentDefinition& d, std::int32_t slot) {
  std::string name = VirtualSynth::generatedName(d, slot);
  name.resize(static_cast<std::size_t>(d.NameLen()), ' ');
  return name;
}

Bytes joined(const Reaction& reaction) {
  Bytes all;
  for (const TimedMessage& send : reaction.sends) all = all + send.bytes;
  return all;
}

// Feeds the messages in; the reaction to the last one.
Reaction feed(VirtualSynth& synth, const std::vector<Bytes>& messages) {
  Reaction last;
  for (const Bytes& message : messages) last = synth.receive(message);
  return last;
}

// What comes back for a request from the librarian: `answeredSlot`'s patch, headed with the
// requester's device, read by the librarian as slot `namedSlot`.
void expectAnswer(Librarian& librarian, std::int32_t slot, int device, std::int32_t answeredSlot,
                  std::int32_t namedSlot) {
  InstrumentDefinition& d = librarian.d();
  VirtualSynth synth(d);
  const std::vector<Bytes> messages = librarian.request(slot, device);
  ASSERT_EQ(messages.size(), d.PatchSelect().empty() ? 1u : 2u);
  const Reaction reaction = feed(synth, messages);
  ASSERT_EQ(reaction.kind, MessageKind::Request) << describe(reaction, d);
  ASSERT_EQ(reaction.slot, answeredSlot);
  ASSERT_EQ(reaction.sends.size(), 1u);
  EXPECT_EQ(reaction.sends[0].delayMs, 0);
  const Bytes answer = joined(reaction);
  ASSERT_TRUE(d.matchesSendTemplate(answer));
  ASSERT_EQ(d.patchNumberOf(answer), namedSlot);
  Patch stored(d);
  ASSERT_TRUE(stored.loadBytes(answer));
  ASSERT_EQ(stored.name(), paddedName(d, answeredSlot));
  const Bytes generated = VirtualSynth::generatedPatch(d, answeredSlot);
  const auto dataAt = static_cast<std::ptrdiff_t>(d.HeaderSize());
  ASSERT_TRUE(std::equal(answer.begin() + dataAt, answer.end(), generated.begin() + dataAt));
  // The header's device byte ("u1", or the wildcard "ff" that stands for it) is the request's.
  if (d.Request().find("u1") != std::string::npos) {
    ASSERT_EQ(answer[2], d.DeviceIdBytes()[device]);
  }
  if (d.SendChecksumPos() > 0 && !d.ChecksumType().empty()) {
    ASSERT_EQ(answer[d.SendChecksumPos()], d.computeChecksum(d.ChecksumType(), answer));
  }
}

// Requests with a bank select before them, a request checksum, offsets in every formula and a
// field that builds no byte: every slot's request gets that slot's patch, and a near miss of a
// request none, so a librarian that asks wrongly is found out.
TEST(VirtualSynthTest, EveryRequestFromTheLibrarianGetsThatSlotsPatch) {
  for (const char* instrument : {"Virtual", "Offsets", "Skipping"}) {
    Librarian librarian(instrument);
    InstrumentDefinition& d = librarian.d();
    for (std::int32_t slot = 0; slot < d.NumTotalPatches(); ++slot) {
      SCOPED_TRACE(std::string(instrument) + " slot " + std::to_string(slot));
      expectAnswer(librarian, slot, slot % 17, slot, slot);
      if (::testing::Test::HasFatalFailure()) return;
    }
    const Bytes request = librarian.request(3).back();
    Bytes wrongChecksum = request;
    if (d.RequestChecksumPos() > 0) wrongChecksum[d.RequestChecksumPos()] ^= 0x01;
    VirtualSynth synth(d);
    for (const Bytes& nearMiss : {Bytes{0xF0, 0xF7}, Bytes(request.begin(), request.end() - 1),
                                  Bytes(request.begin() + 1, request.end()), request + Bytes{0xF7},
                                  d.RequestChecksumPos() > 0 ? wrongChecksum : Bytes{}}) {
      EXPECT_TRUE(synth.receive(nearMiss).sends.empty()) << instrument;
    }
    EXPECT_EQ(synth.counts().requests + synth.counts().stored, 0) << instrument;
  }
  // The Nova's request carries no bank and its patch message no slot at all: slot 130 is asked
  // for as program 2 of the current bank (A), and the librarian reads every answer as slot 0.
  Librarian nova("Nova");
  expectAnswer(nova, 127, 5, 127, 0);
  expectAnswer(nova, 130, 0, 2, 0);
}

// What the librarian makes of each answer: '.' the requested slot, 'w' a valid patch of another
// slot, 's' refused by its packet check, '-' no answer at all; 'g' before it: garbage came first,
// '2' before it: the answer came twice in a row.
std::string judged(Librarian& librarian, VirtualSynth& synth, int requests) {
  std::string verdicts;
  InstrumentDefinition& d = librarian.d();
  const std::vector<Bytes> garbage = garbageBurst();
  for (int i = 0; i < requests; ++i) {
    const std::int32_t slot = 10 + i;
    Reaction reaction = feed(synth, librarian.request(slot));
    if (reaction.sends.size() > garbage.size() &&
        std::equal(garbage.begin(), garbage.end(), reaction.sends.begin(),
                   [](const Bytes& g, const TimedMessage& m) { return g == m.bytes; })) {
      verdicts += 'g';
      reaction.sends.erase(reaction.sends.begin(),
                           reaction.sends.begin() + static_cast<std::ptrdiff_t>(garbage.size()));
    }
    Bytes answer = joined(reaction);
    const auto half = static_cast<std::ptrdiff_t>(answer.size() / 2);
    if (!answer.empty() && answer.size() % 2 == 0 &&
        std::equal(answer.begin(), answer.begin() + half, answer.begin() + half)) {
      verdicts += '2';
      answer.resize(answer.size() / 2);
    }
    if (reaction.sends.empty()) {
      verdicts += '-';
    } else if (!d.matchesSendTemplate(answer)) {
      verdicts += 's';
    } else {
      verdicts += d.patchNumberOf(answer) == slot ? '.' : 'w';
    }
  }
  return verdicts;
}

TEST(VirtualSynthTest, EachFaultHitsEveryNthAnswer) {
  struct Case {
    SynthFaults faults;
    const char* expected;
  };
  const Case cases[] = {
      {{.dropEvery = 3}, "..-..-..-"},
      {{.corruptEvery = 2}, ".s.s.s.s."},
      {{.wrongSlotEvery = 4}, "...w...w."},
      {{.dropEvery = 3, .corruptEvery = 2, .wrongSlotEvery = 5}, ".s-sw-.s-"},
      {{.corruptEvery = 2, .garbageEvery = 3}, ".sg.s.gs.sg."},
      {{.dropEvery = 3, .corruptEvery = 2, .twiceEvery = 2}, ".2s-2s.-.2s-"},
  };
  for (const Case& c : cases) {
    Librarian librarian("Virtual");
    VirtualSynth synth(librarian.d(), c.faults);
    EXPECT_EQ(judged(librarian, synth, 9), c.expected);
  }
  // Each piece of garbage is something the librarian must not take for a patch.
  Librarian librarian("Virtual");
  for (const Bytes& piece : garbageBurst()) {
    EXPECT_FALSE(librarian.d().matchesSendTemplate(piece));
  }
}

// Each packet of the dump names its slot; loaded in another order, each still goes there; a
// damaged image changes nothing.
TEST(VirtualSynthTest, DumpHoldsEverySlotInOrderAndLoadsBack) {
  Librarian librarian("Offsets");
  InstrumentDefinition& d = librarian.d();
  const Bytes dump = VirtualSynth(d).dump();
  const auto size = static_cast<std::size_t>(d.PatchSize());
  ASSERT_EQ(dump.size(), size * 64);
  for (std::int32_t slot = 0; slot < 64; ++slot) {
    EXPECT_EQ(d.patchNumberOf(std::span(dump).subspan(size * slot, size)), slot);
  }
  Bytes shuffled(dump.begin() + size * 40, dump.end());
  shuffled.insert(shuffled.end(), dump.begin(), dump.begin() + size * 40);
  Bytes damaged = shuffled;
  damaged[size * 5 + 1] = 0x00;
  VirtualSynth fresh(d);
  EXPECT_EQ(fresh.load(damaged).value_or(""), "packet 5: header byte 1 is 00");
  EXPECT_NE(fresh.load(Bytes(dump.begin(), dump.end() - 1)), std::nullopt);
  EXPECT_EQ(fresh.load(shuffled), std::nullopt);
  EXPECT_EQ(fresh.dump(), dump);
}

// An audition message from the librarian's own builder goes into the edit buffer whatever the
// device, and never into a slot; a damaged one is refused as a bad patch is; the dump is the slots.
TEST(VirtualSynthTest, AuditionsFillTheEditBufferAndNoSlot) {
  Librarian librarian("Virtual");
  InstrumentDefinition& d = librarian.d();
  VirtualSynth synth(d);
  const Bytes dump = synth.dump();
  Patch patch(d);
  ASSERT_TRUE(patch.loadBytes(VirtualSynth::generatedPatch(d, 9)));
  patch.setName("Fat Bass");
  patch.updateChecksum();
  d.selectDevice(16);
  const Bytes message = auditionMessage(d, d.Audition(), patch.bytes());
  Bytes wrongChecksum = message, high = message, shorter = message;
  wrongChecksum[message.size() - 2] ^= 0x01;
  high[40] = 0x80;
  shorter.erase(shorter.begin() + 40);
  for (const Bytes& bad : {shorter, wrongChecksum, high}) {
    const Reaction reaction = synth.receive(bad);
    EXPECT_EQ(reaction.kind, MessageKind::BadPatch) << describe(reaction, d);
  }
  EXPECT_TRUE(synth.editBuffer().empty());
  EXPECT_EQ(describe(synth.receive(message), d), "edit buffer, 126 bytes: Fat Bass");
  EXPECT_EQ(copy(synth.editBuffer()), message);
  EXPECT_EQ(synth.dump(), dump);
  EXPECT_EQ(synth.counts().auditioned * 10 + synth.counts().refused, 13);
  EXPECT_EQ(synth.counts().stored + synth.counts().ignored, 0);
}

// --- over the loopback MIDI registry ---------------------------------------------------------

class LoopbackSynthTest : public ::testing::Test {
 protected:
  void SetUp() override { loopback::reset(); }
  void TearDown() override { loopback::reset(); }
};

TEST_F(LoopbackSynthTest, LateSplitAnswersRejoinInOrder) {
  Librarian librarian("Virtual");
  std::vector<Reaction> seen;
  LoopbackSynth synth(VirtualSynth(librarian.d(), {.delayMs = 60, .splitBytes = 50, .gapMs = 20}),
                      "late", [&](const Reaction& r) { seen.push_back(r); });
  auto backend = makeLoopbackBackend();
  std::mutex mutex;
  std::vector<std::pair<std::chrono::steady_clock::time_point, Bytes>> pieces;
  ASSERT_EQ(backend->inputNames(), std::vector<std::string>{synth.outputPort()});
  ASSERT_TRUE(backend->openInput(
      0,
      [&](std::span<const std::uint8_t> bytes) {
        std::lock_guard lock(mutex);
        pieces.emplace_back(std::chrono::steady_clock::now(), copy(bytes));
      },
      nullptr));
  ASSERT_EQ(backend->outputNames(), std::vector<std::string>{synth.inputPort()});
  ASSERT_TRUE(backend->openOutput(0));
  const auto start = std::chrono::steady_clock::now();
  for (const std::int32_t slot : {1, 2}) {
    for (const Bytes& message : librarian.request(slot)) backend->send(message);
  }
  ASSERT_TRUE(synth.player().waitUntilIdle(5s));
  ASSERT_TRUE(loopback::waitUntilIdle());
  backend->closeInput();
  ASSERT_EQ(pieces.size(), 6u);  // two answers of 128 bytes in pieces of 50, 50, 28
  Bytes all;
  for (const auto& [when, bytes] : pieces) all = all + bytes;
  EXPECT_EQ(all, VirtualSynth::generatedPatch(librarian.d(), 1) +
                     VirtualSynth::generatedPatch(librarian.d(), 2));
  // The first piece after the delay, a gap before each further piece of an answer; the second
  // answer was due before the first was through. (Arrival can only be later than sending.)
  EXPECT_GE(pieces[0].first - start, 60ms);
  EXPECT_GE(pieces[2].first - start, 100ms);
  EXPECT_GE(pieces[5].first - start, 140ms);
  ASSERT_EQ(seen.size(), 4u);  // two selects, two requests
  EXPECT_EQ(seen[3].kind, MessageKind::Request);
}

}  // namespace
}  // namespace banklore
