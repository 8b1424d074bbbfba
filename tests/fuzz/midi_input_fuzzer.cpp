// MIDI input from any stream of events, as the JACK backend passes it on: events joined into
// messages by the EventAssembler, each message classified by MidiPort's input handling.
// Invariants:
// - Joining: a SysEx comes out whole (F0 first, its only F7 last, no longer than the limit); any
//   other message is one event exactly as it came; nothing comes out that did not go in.
// - Classifying, one outcome per message: a SysEx reaches the data callback byte for byte; a short
//   message of a handled status reaches it cut to the length its status class has (3, 2 or 1) if
//   that many bytes are there and all but the status are data bytes, and is reported as an input
//   error (MIM_ERROR) otherwise; any other status is told in a notice naming it and forwarded
//   nowhere. Never is a short message padded.
// - Input errors reach the error callback as MIM_ERROR or MIM_LONGERROR.
#include "fuzz_support.h"
#include "midi/event_assembler.h"
#include "midi/midi_port.h"
#include "midi/short_message.h"
#include "platform/debug_log.h"

namespace banklore::fuzz {
namespace {

// The table of handled status classes and their lengths, written out independently.
std::optional<std::size_t> expectedLength(std::uint8_t status) {
  const std::uint8_t cls = status < 0xF0 ? status & 0xF0 : status;
  switch (cls) {
    case 0x80:
    case 0x90:
    case 0xA0:
    case 0xB0:
    case 0xE0:
    case 0xF2:  // clang-format off
      return 3;
    case 0xC0: case 0xD0: case 0xF3:
      return 2;
    case 0xF5: case 0xF8: case 0xFA: case 0xFB: case 0xFC: case 0xFE: case 0xFF:
      return 1;  // clang-format on
    default:
      return std::nullopt;
  }
}

// One input port on a backend that is only the handlers the port gives it.
class HandBackend : public MidiBackend {
 public:
  std::vector<std::string> inputNames() override { return {"In"}; }
  std::vector<std::string> outputNames() override { return {}; }
  bool openInput(std::size_t, InputHandler onMessage, ErrorHandler onError) override {
    onMessage_ = std::move(onMessage);
    onError_ = std::move(onError);
    return true;
  }
  void closeInput() override { onMessage_ = {}; }
  bool openOutput(std::size_t) override { return false; }
  void closeOutput() override {}
  bool isOutputOpen() const override { return false; }
  bool send(std::span<const std::uint8_t>) override { return false; }

  InputHandler onMessage_;
  ErrorHandler onError_;
};

struct Seen {
  std::vector<Bytes> data;
  std::vector<std::uint32_t> errors;
  std::vector<std::string> notices;
  std::size_t outcomes() const { return data.size() + errors.size() + notices.size(); }
};

struct Rig {
  Rig() {
    auto hand = std::make_unique<HandBackend>();
    backend = hand.get();
    port = std::make_unique<MidiPort>(std::move(hand));
    port->SetInputDeviceName("In");
    port->SetDataCallback([this](MidiPort&, std::span<const std::uint8_t> bytes) {
      seen.data.emplace_back(bytes.begin(), bytes.end());
    });
    port->SetErrorCallback(
        [this](MidiPort&, std::uint32_t message) { seen.errors.push_back(message); });
    port->SetNoticeCallback([this](const std::string& text) { seen.notices.push_back(text); });
    if (!port->Open() || !backend->onMessage_) std::abort();
  }
  HandBackend* backend;
  std::unique_ptr<MidiPort> port;
  Seen seen;
};

void classify(Rig& rig, std::span<const std::uint8_t> message) {
  rig.seen = {};
  rig.backend->onMessage_(message);
  const Seen& seen = rig.seen;
  if (message.empty()) {
    FUZZ_CHECK(seen.outcomes() == 0);
    return;
  }
  FUZZ_CHECK_MSG(seen.outcomes() == 1, hex(message));
  if (message[0] == 0xF0) {
    FUZZ_CHECK(seen.data.size() == 1 && std::ranges::equal(seen.data[0], message));
    return;
  }
  const auto length = expectedLength(message[0]);
  if (!length) {
    char notice[128];
    std::snprintf(notice, sizeof notice,
                  "Got unknown (not handled) status byte %02x. Please contact the author and tell "
                  "him which status byte it is. Thanks!",
                  message[0] < 0xF0 ? message[0] & 0xF0 : message[0]);
    FUZZ_CHECK_MSG(seen.notices == std::vector<std::string>{notice}, hex(message));
    return;
  }
  const bool whole =
      message.size() >= *length && std::all_of(message.begin() + 1, message.begin() + *length,
                                               [](std::uint8_t b) { return b < 0x80; });
  if (!whole) {
    FUZZ_CHECK_MSG(seen.errors == std::vector<std::uint32_t>{MidiPort::MIM_ERROR}, hex(message));
    return;
  }
  FUZZ_CHECK_MSG(seen.data.size() == 1 && std::ranges::equal(seen.data[0], message.first(*length)),
                 hex(message));
}

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  banklore::SetLogPath("");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace banklore;
  using namespace banklore::fuzz;
  static Rig rig;
  FuzzedDataProvider in(data, size);
  classify(rig, in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 6)));  // as it stands
  const std::size_t limit = in.ConsumeIntegralInRange<std::size_t>(1, 80);
  std::vector<Bytes> joined;
  int broken = 0;
  EventAssembler assembler(
      limit, [&](std::span<const std::uint8_t> m) { joined.emplace_back(m.begin(), m.end()); },
      [&] { ++broken; });

  std::size_t bytesIn = 0;
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange(0, 11)) {
      case 0:
        assembler.lost();
        break;
      case 1:
        assembler.restart();
        break;
      case 2: {
        const bool isLong = in.ConsumeBool();
        rig.seen = {};
        rig.backend->onError_(isLong ? MidiInputError::Long : MidiInputError::Short);
        FUZZ_CHECK(rig.seen.errors == std::vector<std::uint32_t>{isLong ? MidiPort::MIM_LONGERROR
                                                                        : MidiPort::MIM_ERROR});
        break;
      }
      default: {
        const Bytes event = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 12));
        const std::size_t before = joined.size();
        assembler.add(event);
        bytesIn += event.size();
        const bool sysExPart = !event.empty() && event[0] < 0xF8 &&
                               (event[0] < 0x80 || event[0] == 0xF0 || event[0] == 0xF7);
        for (std::size_t i = before; i < joined.size(); ++i) {
          const Bytes& message = joined[i];
          if (!message.empty() && message[0] == 0xF0) {
            FUZZ_CHECK_MSG(message.size() >= 2 && message.back() == 0xF7 &&
                               std::count(message.begin(), message.end(), 0xF7) == 1 &&
                               message.size() <= limit,
                           hex(message));
          } else {
            FUZZ_CHECK_MSG(!sysExPart && message == event, hex(message) + " from " + hex(event));
          }
        }
      }
    }
  }
  std::size_t bytesOut = 0;
  for (const Bytes& message : joined) {
    bytesOut += message.size();
    classify(rig, message);
  }
  FUZZ_CHECK(bytesOut <= bytesIn);
  return 0;
}
