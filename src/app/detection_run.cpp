#include "app/detection_run.h"

#include <algorithm>
#include <optional>

#include "core/instrument_definition.h"
#include "platform/profile.h"

namespace banklore {
namespace {

// A backend opens ports by their index in its own latest listing: list there, find the name.
std::optional<std::size_t> indexIn(const std::vector<std::string>& names, const std::string& name) {
  const auto at = std::find(names.begin(), names.end(), name);
  if (at == names.end()) return std::nullopt;
  return static_cast<std::size_t>(at - names.begin());
}

}  // namespace

std::vector<IdentitySection> identitySections(const std::string& idfPath) {
  std::vector<IdentitySection> sections;
  for (const std::string& name : sectionNames(idfPath)) {
    const auto pattern = parseIdentityPattern(readText(idfPath, name, "Identity", "", 1024));
    if (!pattern) continue;
    const InstrumentDefinition definition(idfPath, name, nullptr);
    const auto& bytes = definition.DeviceIdBytes();
    sections.push_back({name, *pattern, {bytes.begin(), bytes.begin() + definition.DeviceCount()}});
  }
  return sections;
}

DetectionRun::DetectionRun(BackendFactory makeBackend, UiClock& clock,
                           std::vector<IdentitySection> sections, int timerId,
                           std::uint32_t quietMs)
    : makeBackend_(std::move(makeBackend)),
      clock_(clock),
      sections_(std::move(sections)),
      timerId_(timerId),
      quietMs_(quietMs) {}

DetectionRun::~DetectionRun() {
  clock_.stopTimer(timerId_);
}

void DetectionRun::start(Done done) {
  done_ = std::move(done);
  running_ = true;
  found_.clear();
  tried_ = 0;
  next_ = 0;
  // One backend per input, all listening for the whole run: an instrument may answer on any.
  listeners_.clear();
  // A factory may have no backend to give (no MIDI system): then there is nothing to ask.
  const auto lister = makeBackend_ ? makeBackend_() : nullptr;
  outputs_ = lister ? lister->outputNames() : std::vector<std::string>();
  const std::vector<std::string> inputs =
      lister ? lister->inputNames() : std::vector<std::string>();
  for (const std::string& name : inputs) {
    auto listener = makeBackend_();
    if (!listener) continue;
    const auto index = indexIn(listener->inputNames(), name);
    const auto hear = [this, name](std::span<const std::uint8_t> message) {
      // Only universal SysEx can be a reply: a clock or notes on the line are not kept.
      if (message.size() < 2 || message[0] != 0xF0 || message[1] != 0x7E) return;
      std::lock_guard lock(heardMutex_);
      heard_.push_back({name, {message.begin(), message.end()}});
    };
    if (index && listener->openInput(*index, hear, [](MidiInputError) {}))
      listeners_.push_back(std::move(listener));
  }
  probeNext();
}

// One output at a time, so that a reply can only be to the request of the output before it.
void DetectionRun::probeNext() {
  output_.reset();
  while (next_ < outputs_.size()) {
    auto output = makeBackend_();
    if (!output) break;
    const auto index = indexIn(output->outputNames(), outputs_[next_++]);
    if (!index || !output->openOutput(*index) || !output->send(kIdentityRequest)) continue;
    ++tried_;
    output_ = std::move(output);
    clock_.startTimer(timerId_, quietMs_, false, [this] {
      takeWhatWasHeard();
      probeNext();
    });
    return;
  }
  finish();
}

void DetectionRun::takeWhatWasHeard() {
  std::vector<Heard> heard;
  {
    std::lock_guard lock(heardMutex_);
    heard.swap(heard_);
  }
  const std::string& output = outputs_[next_ - 1];
  for (const Heard& h : heard) {
    // Our own request come back through a loop is no instrument; neither is anything else.
    const auto reply = parseIdentityReply(h.message);
    if (!reply) continue;
    DetectedInstrument found{"", h.input, output, -1, *reply};
    const auto section = std::find_if(sections_.begin(), sections_.end(), [&](const auto& s) {
      return identityMatches(s.pattern, *reply);
    });
    if (section != sections_.end()) {
      found.section = section->name;
      const auto& bytes = section->deviceIdBytes;
      const auto device = std::find(bytes.begin(), bytes.end(), reply->device);
      if (device != bytes.end()) found.deviceIndex = static_cast<int>(device - bytes.begin());
    }
    const bool again = std::any_of(found_.begin(), found_.end(), [&](const auto& f) {
      return f.input == found.input && f.output == found.output && f.reply.bytes == reply->bytes;
    });
    if (!again) found_.push_back(std::move(found));
  }
}

void DetectionRun::finish() {
  listeners_.clear();
  output_.reset();
  running_ = false;
  {
    std::lock_guard lock(heardMutex_);
    heard_.clear();
  }
  if (done_) std::exchange(done_, {})(std::move(found_), tried_);
}

}  // namespace banklore
