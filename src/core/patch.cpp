#include "core/patch.h"

#include <algorithm>

namespace banklore {
namespace {

constexpr std::string_view kUntitled = "<Untitled>";

}  // namespace

Patch::Patch(InstrumentDefinition& definition)
    : definition_(&definition), buffer_(static_cast<std::size_t>(definition.PatchSize()), 0xF7) {
  placeInSlot(0);
  setName(kUntitled);
}

namespace {

// The name as text: a byte outside 20..7F reads "?", and everything from a 00 on is blank, so a
// name reads the same however its field was padded.
std::string cleaned(std::string_view text, std::size_t length) {
  std::string clean(length, ' ');
  for (std::size_t i = 0; i < std::min(text.size(), length) && text[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    clean[i] = byte >= 0x20 && byte <= 0x7F ? static_cast<char>(byte) : '?';
  }
  return clean;
}

}  // namespace

std::string patchName(const InstrumentDefinition& definition, std::span<const std::uint8_t> bytes) {
  // The definition keeps the field inside the buffer; the min() guards it all the same.
  const auto offset = std::min(static_cast<std::size_t>(definition.NameOffset()), bytes.size());
  const auto length =
      std::min(static_cast<std::size_t>(definition.NameLen()), bytes.size() - offset);
  const std::string_view field(reinterpret_cast<const char*>(bytes.data()) + offset, length);
  return cleaned(field, length);
}

std::string Patch::name() const {
  return patchName(*definition_, buffer_);
}

void Patch::setName(std::string_view text) {
  const auto offset = std::min(static_cast<std::size_t>(definition_->NameOffset()), buffer_.size());
  const auto length =
      std::min(static_cast<std::size_t>(definition_->NameLen()), buffer_.size() - offset);
  // Only data bytes: a typed character above 7F would break the message on its way.
  const std::string clean = cleaned(text, length);
  std::copy(clean.begin(), clean.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(offset));
}

bool Patch::loadBytes(std::span<const std::uint8_t> source) {
  // Kept byte for byte, the name field too: a received or loaded patch goes back to the
  // instrument exactly as it came. Only name() cleans what it shows.
  std::copy_n(source.begin(), std::min(source.size(), buffer_.size()), buffer_.begin());
  return isValid();
}

std::size_t Patch::readFrom(std::FILE* file) {
  if (file == nullptr) return 0;
  return std::fread(buffer_.data(), 1, buffer_.size(), file);
}

std::size_t Patch::writeTo(std::FILE* file) const {
  if (file == nullptr) return 0;
  return std::fwrite(buffer_.data(), 1, buffer_.size(), file);
}

bool Patch::isValid() const {
  return isValid(buffer_);
}

bool Patch::isValid(std::span<const std::uint8_t> bytes) const {
  return definition_->matchesSendTemplate(bytes);
}

std::int32_t Patch::patchNumber() const {
  return definition_->patchNumberOf(buffer_);
}

void Patch::placeInSlot(std::int32_t slot) {
  definition_->writeHeader(slot, buffer_);
}

void Patch::setDeviceId(int deviceIndex) {
  definition_->writeDeviceByte(deviceIndex, buffer_);  // which wraps the index into its table
}

bool Patch::request(std::int32_t slot) {
  return slot != -1 && definition_->requestPatch(slot);
}

bool Patch::send(std::int32_t slot) {
  if (slot == -1) slot = definition_->patchNumberOf(buffer_);
  definition_->writeHeader(slot, buffer_);
  return definition_->sendPatchData(buffer_);
}

void Patch::updateChecksum() {
  definition_->applySendChecksum(buffer_);
}

}  // namespace banklore
