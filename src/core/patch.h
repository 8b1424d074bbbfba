// One slot's sound: the complete SysEx message of exactly PatchSize bytes, with its name inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/instrument_definition.h"

namespace banklore {

// The name field of a patch message of `definition`, read as Patch::name reads it.
std::string patchName(const InstrumentDefinition& definition, std::span<const std::uint8_t> bytes);

class Patch {
 public:
  // A placeholder: every byte F7, the header built for slot 0, the name "<Untitled>" padded.
  // The definition is not owned and must outlive the patch.
  explicit Patch(InstrumentDefinition& definition);

  // The name field as text, NameLen characters: bytes outside 20..7F read "?", everything from a
  // 00 byte on reads as spaces. For display and sorting; the field itself is left as it came.
  std::string name() const;
  // Writes `text` cleaned the same way (and cut or padded with spaces to NameLen).
  void setName(std::string_view text);

  std::span<const std::uint8_t> bytes() const { return buffer_; }
  std::size_t size() const { return buffer_.size(); }

  // Copies PatchSize bytes from `source` (fewer if it is shorter, leaving the rest as it was),
  // changing none of them, and returns whether they form a valid patch message.
  bool loadBytes(std::span<const std::uint8_t> source);
  // Move exactly PatchSize bytes between the buffer and an open binary stream; return the count
  // the stream reports.
  std::size_t readFrom(std::FILE* file);
  std::size_t writeTo(std::FILE* file) const;

  bool isValid() const;
  bool isValid(std::span<const std::uint8_t> bytes) const;

  // Forwarders to the definition's message operations on this buffer.
  std::int32_t patchNumber() const;
  void placeInSlot(std::int32_t slot);
  void setDeviceId(int deviceIndex);  // taken modulo 256
  // True when every message went out (see InstrumentDefinition).
  bool request(std::int32_t slot);  // -1 does nothing
  bool send(std::int32_t slot);     // -1 sends to the slot the header names
  void updateChecksum();

 private:
  InstrumentDefinition* definition_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace banklore
