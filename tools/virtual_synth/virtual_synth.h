// The virtual instrument: it holds NumTotalPatches patches of one instrument definition, answers
// request messages with patch messages and stores the patch messages it is sent, as the
// instrument would. It knows no MIDI system and no clock: each received message goes in, and what
// to send back comes out with the pauses before each piece; a player sends it (synth_player.h).
//
// Which slot a message means: its own program and bank fields; a field the template does not
// carry comes from the last PatchSelect message, else from the current slot (the one last
// requested or stored, 0 at start). So with the built-in Nova, whose requests carry no bank and
// whose patch messages no slot at all, a request asks for a program in the bank of the current
// slot, and a received patch goes to the slot last requested.
//
// A message of the section's Audition header, the data area and the footer plays a patch in the
// edit buffer: it is held apart from the slots, which it never changes, and is not in the dump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/instrument_definition.h"
#include "message_shape.h"

namespace banklore {

// What the instrument does wrong on purpose. A count n means every n-th answer (1st, 2nd, ...
// answer to a request, counted over the whole run); 0 turns the fault off.
struct SynthFaults {
  int delayMs = 0;             // each answer is sent this long after its request arrived
  int dropEvery = 0;           // that answer is not sent
  int corruptEvery = 0;        // that answer loses its next-to-last byte: one byte short
  int wrongSlotEvery = 0;      // that answer carries the next slot's patch (wrapping to 0)
  std::size_t splitBytes = 0;  // answers go out in raw pieces of this many bytes (0: whole)
  int gapMs = 0;               // pause between two pieces
  int garbageEvery = 0;        // that answer comes after a burst of garbage (garbageBurst)
  int twiceEvery = 0;          // that answer is sent two times, the second right after the first
};

// What a confused instrument or a bad cable puts before an answer: data bytes without a status,
// a SysEx cut off before its end, and another maker's SysEx of the wrong size, each one message.
std::vector<std::vector<std::uint8_t>> garbageBurst();

// One message to send, after a pause that follows the previous message of the same reaction (the
// first: follows the arrival of the message that caused it).
struct TimedMessage {
  int delayMs = 0;
  std::vector<std::uint8_t> bytes;
};

enum class MessageKind { Request, PatchSelect, Patch, BadPatch, Identity, EditBuffer, Ignored };

// What one received message was and what the instrument does about it.
struct Reaction {
  MessageKind kind = MessageKind::Ignored;
  std::int32_t slot = -1;  // slot asked for, selected or stored; -1 for none
  std::size_t length = 0;
  // Why a patch was refused, which fault an answer got, the name of a patch in the edit buffer.
  std::string note;
  std::vector<TimedMessage> sends;
};

struct SynthCounts {
  long requests = 0;
  long answered = 0;  // answers sent (corrupted and wrong-slot ones included)
  long dropped = 0;
  long corrupted = 0;
  long wrongSlot = 0;
  long garbled = 0;  // answers that came after garbage
  long twice = 0;    // answers sent two times (counted once in answered)
  long selects = 0;
  long stored = 0;
  long auditioned = 0;  // patches played in the edit buffer
  long refused = 0;     // patch and audition messages not taken
  long ignored = 0;     // messages that are neither a request, a patch select nor a patch
  long identified = 0;  // identity requests answered
};

class VirtualSynth {
 public:
  // Copies the definition; holds the generated patches (generatedPatch) in every slot.
  explicit VirtualSynth(const InstrumentDefinition& definition, SynthFaults faults = {});

  Reaction receive(std::span<const std::uint8_t> message);
  // Answers MIDI identity requests with these bytes (from the manufacturer ID on, see
  // IdentityReply); none: it does not answer them, as many older instruments do not.
  void setIdentity(std::vector<std::uint8_t> identity) { identity_ = std::move(identity); }

  const InstrumentDefinition& definition() const { return definition_; }
  std::int32_t slotCount() const { return definition_.NumTotalPatches(); }
  // The patch message held in a slot (empty outside 0..slotCount()-1), as generated or received.
  std::span<const std::uint8_t> patch(std::int32_t slot) const;
  // Every slot's patch message, in slot order: the contents of a .syx file.
  std::vector<std::uint8_t> dump() const;
  // Replaces held patches with the packets of a .syx image: each into the slot it names (in file
  // order from slot 0 when patch messages name no slot). On an error (a packet of the wrong size
  // or not a valid patch) nothing is changed and the reason is returned.
  std::optional<std::string> load(std::span<const std::uint8_t> image);

  // The last audition message taken, as it came; empty before the first.
  std::span<const std::uint8_t> editBuffer() const { return editBuffer_; }

  const SynthCounts& counts() const { return counts_; }
  std::int32_t currentSlot() const { return current_; }

  // The patch message for a slot: built for it (device byte 0), the data area filled with a
  // pattern of the slot, the name generatedName, the checksum applied.
  static std::vector<std::uint8_t> generatedPatch(const InstrumentDefinition& definition,
                                                  std::int32_t slot);
  // "Virtual " and the slot label, or the label alone when that does not fit the name field.
  static std::string generatedName(const InstrumentDefinition& definition, std::int32_t slot);

 private:
  Reaction answerRequest(const VariableValues& request, std::size_t length);
  Reaction answerIdentity(std::span<const std::uint8_t> request);
  Reaction takePatch(std::span<const std::uint8_t> message);
  Reaction takeAudition(std::span<const std::uint8_t> message);
  std::optional<std::string> whyInvalid(std::span<const std::uint8_t> message) const;
  std::optional<std::string> whyNotAudition(std::span<const std::uint8_t> message) const;
  // The send checksum rule's byte at `at` checked, the data area starting at `dataStart`.
  std::optional<std::string> wrongChecksum(std::span<const std::uint8_t> message, std::int64_t at,
                                           std::int64_t dataStart) const;
  std::int32_t slotOfPatch(std::span<const std::uint8_t> message) const;
  std::vector<std::uint8_t> answerFor(std::int32_t slot, std::int32_t deviceByte);
  bool requestChecksumHolds(std::span<const std::uint8_t> message,
                            const VariableValues& values) const;
  std::optional<std::size_t> requestChecksumAt() const;

  // Slot numbers and the "s"/"t" values of requests and of patch headers.
  std::int32_t wrap(std::int64_t slot) const;
  std::int32_t requestSlot(std::int64_t s, std::int64_t t) const;
  std::int32_t headerSlot(std::int64_t s, std::int64_t t) const;
  VariableValues requestValues(std::int32_t slot) const;
  VariableValues headerValues(std::int32_t slot) const;
  // Fills what `carried` lacks from the last PatchSelect, else from `current`.
  VariableValues completed(VariableValues carried, const VariableValues& current) const;

  InstrumentDefinition definition_;
  SynthFaults faults_;
  MessageShape request_;
  MessageShape send_;
  MessageShape select_;
  MessageShape audition_;
  std::size_t patchSize_;
  std::vector<std::uint8_t> patches_;  // slotCount() messages of patchSize_ bytes, in slot order
  std::optional<VariableValues> selected_;
  std::int32_t current_ = 0;
  long answers_ = 0;
  SynthCounts counts_;
  std::vector<std::uint8_t> identity_;
  std::vector<std::uint8_t> editBuffer_;
};

// One line for a reaction: kind, slot (with its label), length, and the note.
std::string describe(const Reaction& reaction, const InstrumentDefinition& definition);

}  // namespace banklore
