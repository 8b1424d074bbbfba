// The message operations of an instrument: headers, requests, patch messages, slot numbers of
// received messages and checksums. They share the s/t/u variable table and are not reentrant.
#include <algorithm>

#include "core/checksum_rules.h"
#include "core/instrument_definition.h"
#include "platform/profile.h"

namespace banklore {
namespace {

constexpr std::size_t kS = 0;
constexpr std::size_t kT = 1;
constexpr std::size_t kU = 2;

// Values wider than 32 bits only arise from absurd offsets; the templates use the low bits anyway.
std::int32_t wrapped(std::int64_t value) {
  return static_cast<std::int32_t>(value);
}

void copyToStart(const std::vector<std::uint8_t>& built, std::span<std::uint8_t> buffer) {
  std::copy_n(built.begin(), std::min(built.size(), buffer.size()), buffer.begin());
}

}  // namespace

bool InstrumentDefinition::send(std::span<const std::uint8_t> message) {
  if (port_ == nullptr || message.empty()) return false;
  return port_->SendSysEx(message.data(), message.size());
}

// A template may build several messages in a row (a bank select, then an unlock); drivers and
// instruments take one buffer for one message, so each goes out on its own.
bool InstrumentDefinition::sendEach(std::span<const std::uint8_t> messages) {
  bool all = true;
  std::size_t start = 0;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const bool last = i + 1 == messages.size();
    if (last || (messages[i] == 0xF7 && messages[i + 1] == 0xF0)) {
      all = send(messages.subspan(start, i + 1 - start)) && all;
      start = i + 1;
    }
  }
  return all;
}

void InstrumentDefinition::selectSlot(std::int32_t slot) {
  variables_[kS].value = wrapped(std::int64_t{slot} % numPatchesPerBank_ + patchOffset_);
  variables_[kT].value = wrapped(std::int64_t{slot} / numPatchesPerBank_ + bankOffset_);
}

void InstrumentDefinition::writeHeader(std::int32_t slot, std::span<std::uint8_t> buffer) {
  selectSlot(slot);
  copyToStart(buildMessage(send_, variables_), buffer);
}

void InstrumentDefinition::selectDevice(int deviceIndex) {
  // Indices outside the table wrap into it, as a device-ID byte would.
  variables_[kU].value = deviceIdBytes_[static_cast<unsigned>(deviceIndex) % kMaxDevices];
}

void InstrumentDefinition::writeDeviceByte(int deviceIndex, std::span<std::uint8_t> buffer) {
  selectDevice(deviceIndex);
  copyToStart(buildMessage(send_, variables_), buffer);
}

bool InstrumentDefinition::sendPatchSelect() {
  if (patchSelect_.empty()) return true;
  const std::vector<std::uint8_t> message = buildMessage(patchSelect_, variables_);
  return message.empty() || sendEach(message);
}

bool InstrumentDefinition::requestPatch(std::int32_t slot) {
  const std::int64_t perBank = numPatchesPerBank_;
  const std::int64_t v = std::int64_t{bankOffset_} * perBank + patchOffset_ + slot;
  variables_[kS].value = wrapped(v % perBank);
  variables_[kT].value = wrapped(v / perBank + bankRequestOffset_);
  const bool selected = sendPatchSelect();
  std::vector<std::uint8_t> request = buildMessage(request_, variables_);
  if (request.empty()) return selected;
  // A position outside the built request, or a type that is no rule (see the load log), leaves the
  // byte as the template built it.
  const auto position = static_cast<std::size_t>(requestChecksumPos_);
  if (requestChecksumPos_ > 0 && position < request.size()) {
    if (const auto checksum = requestChecksum(request)) request[position] = *checksum;
  }
  return sendEach(request) && selected;
}

std::optional<std::uint8_t> InstrumentDefinition::requestChecksum(
    std::span<const std::uint8_t> request) const {
  if (equalsIgnoringCase(checksumType_, "Q")) {
    std::uint32_t sum = 0;
    for (const std::size_t i : {std::size_t{5}, std::size_t{6}}) {
      if (i < request.size()) sum += request[i];
    }
    return static_cast<std::uint8_t>(sum & 0x7F);
  }
  return checksumByRule(requestChecksumType_, request, headerSize_, dataSize_);
}

bool InstrumentDefinition::sendPatchData(std::span<const std::uint8_t> buffer) {
  const bool selected = sendPatchSelect();
  std::vector<std::uint8_t> message(static_cast<std::size_t>(PatchSize()), 0xF7);
  std::copy_n(buffer.begin(), std::min(buffer.size(), message.size()), message.begin());
  copyToStart(buildMessage(send_, variables_), message);
  applySendChecksum(message);
  return send(message) && selected;
}

bool InstrumentDefinition::sendCarries(char letter) const {
  FieldTokenizer fields(send_);
  while (const auto field = fields.nextField(',')) {
    if (field->empty()) break;  // an empty field ends the template
    if (!isHexByteToken(*field) && (*field)[0] == letter) return true;
  }
  return false;
}

bool InstrumentDefinition::sendTemplateNamesSlot() const {
  return sendCarries('s') || sendCarries('t');
}

bool InstrumentDefinition::sendTemplateNamesWholeSlot() const {
  return sendCarries('s') && (sendCarries('t') || numTotalPatches_ <= numPatchesPerBank_);
}

std::int32_t InstrumentDefinition::patchNumberOf(std::span<const std::uint8_t> bytes) {
  extractValues(bytes, send_, variables_);
  return slotOfVariables();
}

std::int32_t InstrumentDefinition::patchNumberOf(std::span<const std::uint8_t> bytes,
                                                 std::int32_t awaitedSlot) {
  extractValues(bytes, send_, variables_);
  // What the header of the awaited slot would carry, as writeHeader sets it.
  if (!sendCarries('s')) {
    variables_[kS].value = wrapped(std::int64_t{awaitedSlot} % numPatchesPerBank_ + patchOffset_);
  }
  if (!sendCarries('t')) {
    variables_[kT].value = wrapped(std::int64_t{awaitedSlot} / numPatchesPerBank_ + bankOffset_);
  }
  return slotOfVariables();
}

std::int32_t InstrumentDefinition::slotOfVariables() const {
  // 128-bit so that no offset, however absurd, overflows; the two loops of whole banks are done
  // in one step each.
  using Wide = __int128;
  const Wide perBank = numPatchesPerBank_;
  const Wide total = numTotalPatches_;
  Wide n =
      (Wide{variables_[kT].value} - bankOffset_) * perBank - patchOffset_ + variables_[kS].value;
  if (n >= total) n -= ((n - total) / perBank + 1) * perBank;
  if (n < 0) n += ((-n + perBank - 1) / perBank) * perBank;
  return static_cast<std::int32_t>(n);
}

std::int32_t InstrumentDefinition::messageLength(std::span<const std::uint8_t> bytes) const {
  if (bytes.empty() || bytes[0] == 0xF7) return 0;
  const std::size_t end = std::min(bytes.size(), static_cast<std::size_t>(PatchSize()));
  for (std::size_t i = 1; i < end; ++i) {
    if (bytes[i] == 0xF7) return static_cast<std::int32_t>(i);
  }
  return PatchSize();
}

bool InstrumentDefinition::matchesSendTemplate(std::span<const std::uint8_t> bytes) const {
  const auto patchSize = static_cast<std::size_t>(PatchSize());
  if (bytes.size() < patchSize) return false;
  const auto message = bytes.first(patchSize);
  return matchesTemplate(message, send_) && messageLength(message) == PatchSize() - 1 &&
         onlyDataBytesInside(message);
}

bool InstrumentDefinition::onlyDataBytesInside(std::span<const std::uint8_t> message) const {
  // A byte above 7F between F0 and F7 is a status byte: the message was damaged on its way. The
  // header's fixed fields (the "ff" wildcard too, which older files hold as FF) and a fixed
  // checksum byte are the definition's own affair.
  FieldTokenizer fields(send_);
  std::size_t position = 0;
  for (auto field = fields.nextField(','); field && position + 1 < message.size();
       field = fields.nextField(','), ++position) {
    if (position > 0 && message[position] > 0x7F && !isHexByteToken(*field)) return false;
  }
  for (; position + 1 < message.size(); ++position) {
    const bool fixedChecksum = static_cast<std::int32_t>(position) == sendChecksumPos_;
    if (position > 0 && message[position] > 0x7F && !fixedChecksum) return false;
  }
  return true;
}

std::uint8_t InstrumentDefinition::computeChecksum(const std::string& type,
                                                   std::span<const std::uint8_t> message) const {
  // A type that is no rule reads as the hexadecimal number 0.
  return checksumByRule(type, message, headerSize_, dataSize_).value_or(0);
}

void InstrumentDefinition::applySendChecksum(std::span<std::uint8_t> message) const {
  if (sendChecksumPos_ == 0 || checksumType_.empty()) return;
  // A position outside the message stores nothing.
  if (sendChecksumPos_ < 0 || static_cast<std::size_t>(sendChecksumPos_) >= message.size()) return;
  message[static_cast<std::size_t>(sendChecksumPos_)] = computeChecksum(checksumType_, message);
}

}  // namespace banklore
