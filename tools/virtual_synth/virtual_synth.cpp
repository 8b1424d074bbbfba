#include "virtual_synth.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "core/checksum_rules.h"
#include "core/identity.h"
#include "core/patch.h"
#include "core/sysex_template.h"
#include "platform/profile.h"

namespace banklore {
namespace {

__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...) {
  char text[160];
  std::va_list arguments;
  va_start(arguments, pattern);
  std::vsnprintf(text, sizeof text, pattern, arguments);
  va_end(arguments);
  return text;
}

bool isWholeSysEx(std::span<const std::uint8_t> message) {
  return message.size() >= 2 && message.front() == 0xF0 && message.back() == 0xF7;
}

// "s" and "t" of a patch header for a slot, as the librarian's writeHeader sets them.
VariableValues headerValuesFor(const InstrumentDefinition& definition, std::int32_t slot) {
  const std::int64_t perBank = definition.NumPatchesPerBank();
  VariableValues values;
  values.set(Variable::S, static_cast<std::int32_t>(slot % perBank + definition.PatchOffset()));
  values.set(Variable::T, static_cast<std::int32_t>(slot / perBank + definition.BankOffset()));
  return values;
}

// Copies `from` over the start of `to`, as far as `to` reaches.
void overlay(std::span<const std::uint8_t> from, std::span<std::uint8_t> to) {
  std::copy_n(from.begin(), std::min(from.size(), to.size()), to.begin());
}

}  // namespace

VirtualSynth::VirtualSynth(const InstrumentDefinition& definition, SynthFaults faults)
    : definition_(definition),
      faults_(faults),
      request_(definition.Request()),
      send_(definition.Send()),
      select_(definition.PatchSelect()),
      audition_(definition.Audition()),
      patchSize_(static_cast<std::size_t>(definition.PatchSize())) {
  patches_.reserve(patchSize_ * static_cast<std::size_t>(slotCount()));
  for (std::int32_t slot = 0; slot < slotCount(); ++slot) {
    const std::vector<std::uint8_t> patch = generatedPatch(definition_, slot);
    patches_.insert(patches_.end(), patch.begin(), patch.end());
  }
}

// --- generated patches -----------------------------------------------------------------------

std::string VirtualSynth::generatedName(const InstrumentDefinition& definition, std::int32_t slot) {
  const std::string label = definition.patchLabel(slot);
  const auto room = static_cast<std::size_t>(std::max(definition.NameLen(), 0));
  if (label.size() + 8 <= room) return "Virtual " + label;
  // The end of the label holds the digits that tell slots apart.
  return label.size() <= room ? label : label.substr(label.size() - room);
}

std::vector<std::uint8_t> VirtualSynth::generatedPatch(const InstrumentDefinition& definition,
                                                       std::int32_t slot) {
  std::vector<std::uint8_t> patch(static_cast<std::size_t>(definition.PatchSize()), 0x00);
  // Data bytes below 80 (never an F7 that would end the message early), different per slot.
  const auto dataStart = static_cast<std::size_t>(definition.HeaderSize());
  const std::size_t dataEnd =
      std::min(patch.size(), dataStart + static_cast<std::size_t>(definition.DataSize()));
  for (std::size_t i = dataStart; i < dataEnd; ++i) {
    patch[i] = static_cast<std::uint8_t>((static_cast<std::size_t>(slot) * 29 + i * 7 + 3) & 0x7F);
  }
  patch.back() = 0xF7;
  std::string name = generatedName(definition, slot);
  name.resize(static_cast<std::size_t>(std::max(definition.NameLen(), 0)), ' ');
  if (definition.NameOffset() >= 0 &&
      static_cast<std::size_t>(definition.NameOffset()) < patch.size()) {
    overlay(std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()),
            std::span(patch).subspan(static_cast<std::size_t>(definition.NameOffset())));
  }
  overlay(MessageShape(definition.Send()).build(headerValuesFor(definition, slot)), patch);
  definition.applySendChecksum(patch);
  return patch;
}

// --- slot arithmetic -------------------------------------------------------------------------

std::int32_t VirtualSynth::wrap(std::int64_t slot) const {
  // Whole banks up or down into range, as the librarian's patchNumberOf does.
  const std::int64_t perBank = definition_.NumPatchesPerBank();
  const std::int64_t total = slotCount();
  if (slot >= total) slot -= ((slot - total) / perBank + 1) * perBank;
  if (slot < 0) slot += ((-slot + perBank - 1) / perBank) * perBank;
  if (slot >= total) slot %= total;  // a bank larger than the whole instrument
  return static_cast<std::int32_t>(slot);
}

std::int32_t VirtualSynth::requestSlot(std::int64_t s, std::int64_t t) const {
  const std::int64_t bank =
      t - definition_.BankRequestOffset() - std::int64_t{definition_.BankOffset()};
  return wrap(bank * definition_.NumPatchesPerBank() + s - definition_.PatchOffset());
}

std::int32_t VirtualSynth::headerSlot(std::int64_t s, std::int64_t t) const {
  return wrap((t - definition_.BankOffset()) * definition_.NumPatchesPerBank() + s -
              definition_.PatchOffset());
}

VariableValues VirtualSynth::requestValues(std::int32_t slot) const {
  const std::int64_t perBank = definition_.NumPatchesPerBank();
  const std::int64_t v = definition_.BankOffset() * perBank + definition_.PatchOffset() + slot;
  VariableValues values;
  values.set(Variable::S, static_cast<std::int32_t>(v % perBank));
  values.set(Variable::T, static_cast<std::int32_t>(v / perBank + definition_.BankRequestOffset()));
  return values;
}

VariableValues VirtualSynth::headerValues(std::int32_t slot) const {
  return headerValuesFor(definition_, slot);
}

VariableValues VirtualSynth::completed(VariableValues carried,
                                       const VariableValues& current) const {
  for (const Variable v : {Variable::S, Variable::T, Variable::U}) {
    if (carried.has(v)) continue;
    if (selected_ && selected_->has(v)) {
      carried.set(v, (*selected_)[v]);
    } else if (current.has(v)) {
      carried.set(v, current[v]);
    }
  }
  return carried;
}

// --- receiving -------------------------------------------------------------------------------

Reaction VirtualSynth::receive(std::span<const std::uint8_t> message) {
  Reaction reaction;
  reaction.length = message.size();
  if (!isWholeSysEx(message)) {
    ++counts_.ignored;
    reaction.note = "not a whole SysEx message";
    return reaction;
  }
  if (isIdentityRequest(message) && !identity_.empty()) return answerIdentity(message);
  if (const auto values = request_.match(message, requestChecksumAt())) {
    if (requestChecksumHolds(message, *values)) return answerRequest(*values, message.size());
  }
  if (const auto values = select_.match(message)) {
    ++counts_.selects;
    selected_ = values;
    reaction.kind = MessageKind::PatchSelect;
    reaction.slot = requestSlot((*values)[Variable::S], (*values)[Variable::T]);
    return reaction;
  }
  // A patch message: the header's fixed bytes are there, or at least the length is right. The
  // patch header wins over an audition header that its fixed bytes also match.
  const bool patchHeader = matchesTemplate(message, definition_.Send());
  if (!audition_.empty() && !patchHeader && matchesTemplate(message, definition_.Audition())) {
    return takeAudition(message);
  }
  if (message.size() == patchSize_ || patchHeader) {
    return takePatch(message);
  }
  ++counts_.ignored;
  reaction.note =
      "neither a request, a patch select nor a patch of " + definition_.InstrumentName();
  return reaction;
}

// To every device (7F) or to its own device byte, the first of the definition's table.
Reaction VirtualSynth::answerIdentity(std::span<const std::uint8_t> request) {
  Reaction reaction;
  reaction.length = request.size();
  const std::uint8_t device = definition_.DeviceIdBytes()[0];
  if (request[2] != 0x7F && request[2] != device) {
    ++counts_.ignored;
    reaction.note = "an identity request for another device";
    return reaction;
  }
  ++counts_.identified;
  reaction.kind = MessageKind::Identity;
  std::vector<std::uint8_t> reply = {0xF0, 0x7E, device, 0x06, 0x02};
  reply.insert(reply.end(), identity_.begin(), identity_.end());
  reply.push_back(0xF7);
  reaction.sends.push_back({faults_.delayMs, std::move(reply)});
  return reaction;
}

std::optional<std::size_t> VirtualSynth::requestChecksumAt() const {
  if (definition_.RequestChecksumPos() <= 0) return std::nullopt;
  return static_cast<std::size_t>(definition_.RequestChecksumPos());
}

bool VirtualSynth::requestChecksumHolds(std::span<const std::uint8_t> message,
                                        const VariableValues& values) const {
  const auto at = requestChecksumAt();
  if (!at || *at >= message.size()) return true;
  // Computed over the request as built, before its checksum byte was stored.
  const std::vector<std::uint8_t> built = request_.build(values);
  std::optional<std::uint8_t> expected;
  if (equalsIgnoringCase(definition_.ChecksumType(), "Q")) {
    std::uint32_t sum = 0;
    for (const std::size_t i : {std::size_t{5}, std::size_t{6}})
      sum += i < built.size() ? built[i] : 0;
    expected = static_cast<std::uint8_t>(sum & 0x7F);
  } else {
    expected = checksumByRule(definition_.RequestChecksumType(), built, definition_.HeaderSize(),
                              definition_.DataSize());
  }
  return message[*at] == expected.value_or(built[*at]);
}

Reaction VirtualSynth::answerRequest(const VariableValues& request, std::size_t length) {
  const VariableValues values = completed(request, requestValues(current_));
  selected_.reset();
  const std::int32_t slot = requestSlot(values[Variable::S], values[Variable::T]);
  current_ = slot;
  ++counts_.requests;
  ++answers_;
  Reaction reaction;
  reaction.kind = MessageKind::Request;
  reaction.slot = slot;
  reaction.length = length;
  const auto every = [this](int n) { return n > 0 && answers_ % n == 0; };
  if (every(faults_.dropEvery)) {
    ++counts_.dropped;
    reaction.note = "answer dropped";
    return reaction;
  }
  std::int32_t answered = slot;
  if (every(faults_.wrongSlotEvery)) {
    ++counts_.wrongSlot;
    answered = (slot + 1) % slotCount();
    reaction.note =
        format("answered with slot %d %s", answered, definition_.patchLabel(answered).c_str());
  }
  std::vector<std::uint8_t> answer = answerFor(answered, values[Variable::U]);
  if (every(faults_.corruptEvery) && answer.size() >= 2) {
    ++counts_.corrupted;
    answer.erase(answer.end() - 2);
    if (!reaction.note.empty()) reaction.note += ", ";
    reaction.note += format("answer one byte short (%zu bytes)", answer.size());
  }
  ++counts_.answered;
  if (every(faults_.garbageEvery)) {
    ++counts_.garbled;
    if (!reaction.note.empty()) reaction.note += ", ";
    reaction.note += "garbage first";
    for (std::vector<std::uint8_t>& bytes : garbageBurst()) {
      // The delay comes before the first message of the reaction, whichever it is.
      reaction.sends.push_back({reaction.sends.empty() ? faults_.delayMs : 0, std::move(bytes)});
    }
  }
  const bool twice = every(faults_.twiceEvery);
  if (twice) {
    ++counts_.twice;
    if (!reaction.note.empty()) reaction.note += ", ";
    reaction.note += "sent twice";
  }
  const std::size_t piece = faults_.splitBytes > 0 ? faults_.splitBytes : answer.size();
  for (int copy = twice ? 2 : 1; copy > 0; --copy) {
    for (std::size_t at = 0; at < answer.size(); at += piece) {
      const auto end =
          answer.begin() + static_cast<std::ptrdiff_t>(std::min(answer.size(), at + piece));
      // The delay goes before the first message only: a second copy follows the first at once.
      const int pause = at > 0 ? faults_.gapMs : reaction.sends.empty() ? faults_.delayMs : 0;
      reaction.sends.push_back({pause, std::vector<std::uint8_t>(
                                           answer.begin() + static_cast<std::ptrdiff_t>(at), end)});
    }
  }
  return reaction;
}

std::vector<std::vector<std::uint8_t>> garbageBurst() {
  return {{0x12, 0x34, 0x56, 0x00, 0x7F},
          {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00},
          {0xF0, 0x43, 0x20, 0x7A, 0x01, 0x02, 0xF7}};
}

std::vector<std::uint8_t> VirtualSynth::answerFor(std::int32_t slot, std::int32_t deviceByte) {
  const std::span<const std::uint8_t> held = patch(slot);
  std::vector<std::uint8_t> answer(held.begin(), held.end());
  VariableValues header = headerValues(slot);
  header.set(Variable::U, deviceByte);
  overlay(send_.build(header), answer);
  definition_.applySendChecksum(answer);
  return answer;
}

std::optional<std::string> VirtualSynth::whyInvalid(std::span<const std::uint8_t> message) const {
  if (message.size() != patchSize_) {
    return format("wrong length (%zu bytes, expected %zu)", message.size(), patchSize_);
  }
  if (const auto at = firstMismatch(message, definition_.Send())) {
    return format("header byte %zu is %02X", *at, message[*at]);
  }
  if (!definition_.matchesSendTemplate(message)) {
    return format("F7 at byte %d, not at the end", definition_.messageLength(message));
  }
  return wrongChecksum(message, definition_.SendChecksumPos(), definition_.HeaderSize());
}

std::optional<std::string> VirtualSynth::wrongChecksum(std::span<const std::uint8_t> message,
                                                       std::int64_t at,
                                                       std::int64_t dataStart) const {
  const std::string& rule = definition_.ChecksumType();
  if (definition_.SendChecksumPos() <= 0 || rule.empty() || at <= 0 ||
      static_cast<std::size_t>(at) >= message.size()) {
    return std::nullopt;
  }
  const auto sum = [&](std::span<const std::uint8_t> bytes) {
    return checksumByRule(rule, bytes, dataStart, definition_.DataSize()).value_or(0);
  };
  // A rule that sums its own byte cannot be checked by a receiver: its sum depends on what the
  // sender's buffer held there before. Such checksums are taken as they come.
  std::vector<std::uint8_t> probe(message.begin(), message.end());
  probe[static_cast<std::size_t>(at)] = 0;
  const std::uint8_t withZero = sum(probe);
  probe[static_cast<std::size_t>(at)] = 1;
  const std::uint8_t withOne = sum(probe);
  const std::uint8_t stored = message[static_cast<std::size_t>(at)];
  if (withZero != withOne || stored == withZero) return std::nullopt;
  return format("wrong checksum (stored %02X, computed %02X)", stored, withZero);
}

// The header exactly as the Audition template builds it (any device byte), the data area and
// footer of a patch, one F7 at the end, and the send checksum where the shorter or longer header
// moves it.
std::optional<std::string> VirtualSynth::whyNotAudition(
    std::span<const std::uint8_t> message) const {
  const std::size_t header = audition_.size();
  const std::size_t expected =
      header + patchSize_ - static_cast<std::size_t>(definition_.HeaderSize());
  if (message.size() != expected) {
    return format("wrong length (%zu bytes, expected %zu)", message.size(), expected);
  }
  if (!audition_.match(message.first(header))) return "not the Audition header";
  const auto inside = message.subspan(1, message.size() - 2);
  if (const auto high =
          std::find_if(inside.begin(), inside.end(), [](std::uint8_t b) { return b > 0x7F; });
      high != inside.end()) {
    return format("byte %zu is %02X", static_cast<std::size_t>(high - inside.begin()) + 1, *high);
  }
  const auto shift = static_cast<std::int64_t>(header) - definition_.HeaderSize();
  return wrongChecksum(message, definition_.SendChecksumPos() + shift,
                       static_cast<std::int64_t>(header));
}

std::int32_t VirtualSynth::slotOfPatch(std::span<const std::uint8_t> message) const {
  const VariableValues values = completed(send_.decode(message), headerValues(current_));
  return headerSlot(values[Variable::S], values[Variable::T]);
}

Reaction VirtualSynth::takePatch(std::span<const std::uint8_t> message) {
  Reaction reaction;
  reaction.length = message.size();
  reaction.slot = slotOfPatch(message);
  selected_.reset();
  if (auto why = whyInvalid(message)) {
    ++counts_.refused;
    reaction.kind = MessageKind::BadPatch;
    reaction.note = std::move(*why);
    return reaction;
  }
  ++counts_.stored;
  reaction.kind = MessageKind::Patch;
  current_ = reaction.slot;
  std::copy(message.begin(), message.end(),
            patches_.begin() + static_cast<std::ptrdiff_t>(patchSize_ * reaction.slot));
  return reaction;
}

Reaction VirtualSynth::takeAudition(std::span<const std::uint8_t> message) {
  Reaction reaction;
  reaction.length = message.size();
  if (auto why = whyNotAudition(message)) {
    ++counts_.refused;
    reaction.kind = MessageKind::BadPatch;
    reaction.note = "audition: " + std::move(*why);
    return reaction;
  }
  ++counts_.auditioned;
  reaction.kind = MessageKind::EditBuffer;
  editBuffer_.assign(message.begin(), message.end());
  // The name read as the patch would hold it: the same data area behind the patch header.
  std::vector<std::uint8_t> asPatch = send_.build(headerValues(current_));
  asPatch.resize(static_cast<std::size_t>(definition_.HeaderSize()), 0x00);
  asPatch.insert(asPatch.end(), message.begin() + static_cast<std::ptrdiff_t>(audition_.size()),
                 message.end());
  Patch patch(definition_);
  patch.loadBytes(asPatch);
  reaction.note = patch.name();
  reaction.note.erase(reaction.note.find_last_not_of(' ') + 1);
  return reaction;
}

// --- held patches ----------------------------------------------------------------------------

std::span<const std::uint8_t> VirtualSynth::patch(std::int32_t slot) const {
  if (slot < 0 || slot >= slotCount()) return {};
  return std::span(patches_).subspan(patchSize_ * static_cast<std::size_t>(slot), patchSize_);
}

std::vector<std::uint8_t> VirtualSynth::dump() const {
  return patches_;
}

std::optional<std::string> VirtualSynth::load(std::span<const std::uint8_t> image) {
  if (image.size() % patchSize_ != 0) {
    return format("%zu bytes are not whole patches of %zu bytes", image.size(), patchSize_);
  }
  const bool named = send_.carries(Variable::S) || send_.carries(Variable::T);
  std::vector<std::uint8_t> patches = patches_;
  for (std::size_t i = 0; i * patchSize_ < image.size(); ++i) {
    const auto packet = image.subspan(i * patchSize_, patchSize_);
    if (const auto why = whyInvalid(packet)) return format("packet %zu: %s", i, why->c_str());
    const std::int32_t slot =
        named ? headerSlot(send_.decode(packet)[Variable::S], send_.decode(packet)[Variable::T])
              : static_cast<std::int32_t>(i);
    if (slot >= slotCount()) {
      return format("packet %zu: the instrument has only %d slots", i, slotCount());
    }
    std::copy(
        packet.begin(), packet.end(),
        patches.begin() + static_cast<std::ptrdiff_t>(patchSize_ * static_cast<std::size_t>(slot)));
  }
  patches_ = std::move(patches);
  return std::nullopt;
}

std::string describe(const Reaction& reaction, const InstrumentDefinition& definition) {
  static constexpr const char* kKinds[] = {"request",          "select",      "patch",  "bad patch",
                                           "identity request", "edit buffer", "ignored"};
  std::string line = kKinds[static_cast<int>(reaction.kind)];
  if (reaction.slot >= 0) {
    line += format(" slot %d %s", reaction.slot, definition.patchLabel(reaction.slot).c_str());
  }
  line += format(", %zu bytes", reaction.length);
  if (!reaction.note.empty()) line += ": " + reaction.note;
  return line;
}

}  // namespace banklore
