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

std::string Patch::name() const {
  const auto offset = static_cast<std::size_t>(definition_->NameOffset());
  const auto length = static_cast<std::size_t>(definition_->NameLen());
  std::string text;
  text.reserve(length);
  for (std::size_t i = offset; i < offset + length && i < buffer_.size(); ++i) {
    const std::uint8_t byte = buffer_[i];
    if (byte == 0x00) break;
    text.push_back(byte >= 0x20 && byte <= 0x7F ? static_cast<char>(byte) : '?');
  }
  return text;
}

void Patch::setName(std::string_view text) {
  // The definition keeps the field inside the buffer; the min() guards it all the same.
  const auto offset = std::min(static_cast<std::size_t>(definition_->NameOffset()), buffer_.size());
  const auto length =
      std::min(static_cast<std::size_t>(definition_->NameLen()), buffer_.size() - offset);
  const auto field = std::span(buffer_).subspan(offset, length);
  std::fill(field.begin(), field.end(), 0x20);
  std::copy_n(text.begin(), std::min(text.size(), field.size()), field.begin());
}

bool Patch::loadBytes(std::span<const std::uint8_t> source) {
  std::copy_n(source.begin(), std::min(source.size(), buffer_.size()), buffer_.begin());
  // Judged as the bytes arrived: cleaning the name first would turn an F7 inside it, which ends
  // the message on the way to the instrument, into a harmless "?".
  const bool valid = isValid();
  setName(name());
  return valid;
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
