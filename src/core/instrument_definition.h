// Everything instrument-specific, read once from one section of the definition (.idf) file, with
// the built-in "Nova" values for whatever is missing; plus the operations that turn slot numbers
// into SysEx messages and back (requests, patch messages, headers, checksums) and the slot labels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/sysex_sender.h"
#include "core/sysex_template.h"

namespace banklore {

class InstrumentDefinition {
 public:
  static constexpr int kMaxDevices = 256;

  // Reads section `instrumentName` of `definitionFile`; never fails. `port` may be null (nothing is
  // then sent); it is not owned and must outlive the definition.
  // After loading, the sizes are sane: NumPatchesPerBank >= 1, NumTotalPatches >= 1, the three size
  // fields >= 0, PatchSize >= 1, NumTotalPatches patches fit in 256 MiB, and the name field lies
  // inside the patch message (see the .cpp for the exact rules and what is logged when a value is
  // corrected).
  InstrumentDefinition(const std::string& definitionFile, const std::string& instrumentName,
                       SysExSender* port);

  // Fields, as read and derived.
  const std::string& InstrumentName() const { return instrumentName_; }
  const std::string& Settings() const { return settings_; }
  const std::string& Request() const { return request_; }
  const std::string& Send() const { return send_; }
  const std::string& PatchSelect() const { return patchSelect_; }
  // The header of a patch sent to the edit buffer; empty when the instrument has none.
  const std::string& Audition() const { return audition_; }
  std::int32_t NumTotalPatches() const { return numTotalPatches_; }
  std::int32_t NumEditablePatches() const { return numEditablePatches_; }
  std::int32_t NumPatchesPerBank() const { return numPatchesPerBank_; }
  std::int32_t FirstPatchNumber() const { return firstPatchNumber_; }
  // A signed 8-bit character, widened; 0 if empty.
  int FirstBankSign() const { return firstBankSign_; }
  std::int32_t BankOffset() const { return bankOffset_; }
  std::int32_t BankRequestOffset() const { return bankRequestOffset_; }
  std::int32_t PatchOffset() const { return patchOffset_; }
  std::int32_t HeaderSize() const { return headerSize_; }
  std::int32_t DataSize() const { return dataSize_; }
  std::int32_t FooterSize() const { return footerSize_; }
  std::int32_t PatchSize() const { return headerSize_ + dataSize_ + footerSize_; }
  std::int32_t NameOffset() const { return nameOffset_; }
  std::int32_t NameLen() const { return nameLen_; }
  std::int32_t SendChecksumPos() const { return sendChecksumPos_; }
  // A byte position in the request as built; a negative value in the file counts back from its
  // end (-1: the byte before the closing F7).
  std::int32_t RequestChecksumPos() const { return requestChecksumPos_; }
  const std::string& ChecksumType() const { return checksumType_; }
  const std::string& RequestChecksumType() const { return requestChecksumType_; }
  const std::vector<std::string>& BankNames() const { return bankNames_; }
  const std::array<std::string, kMaxDevices>& DeviceIdNames() const { return deviceIdNames_; }
  const std::array<std::uint8_t, kMaxDevices>& DeviceIdBytes() const { return deviceIdBytes_; }
  unsigned DeviceCount() const { return deviceCount_; }

  // The shared "s", "t", "u" variable table (in that order); each operation sets what it needs.
  const std::vector<TemplateVariable>& variables() const { return variables_; }

  // Display label of a slot, such as "A000".
  std::string patchLabel(std::int32_t slot) const;

  // Message operations. Buffers are patch messages; nothing is read or written outside them.
  void writeHeader(std::int32_t slot, std::span<std::uint8_t> buffer);
  void writeDeviceByte(int deviceIndex, std::span<std::uint8_t> buffer);
  // Only choose the device, or the slot, the next requests and headers address, touching no
  // buffer.
  void selectDevice(int deviceIndex);
  void selectSlot(std::int32_t slot);
  // The sending operations return whether every message they built went out (a PatchSelect
  // template that builds nothing sends nothing and counts as gone out).
  bool sendPatchSelect();
  // A request checksum position outside the built request, or a request checksum type that is
  // neither a rule nor a hexadecimal byte (an empty one included), leaves that byte as built.
  bool requestPatch(std::int32_t slot);
  bool sendPatchData(std::span<const std::uint8_t> buffer);  // the buffer itself is not changed
  // Whether the "Send" template holds a program or bank field, i.e. whether a patch message names
  // the slot it belongs to at all.
  bool sendTemplateNamesSlot() const;
  // Whether a patch message names its slot without help: the program, and the bank too unless
  // the instrument has only one.
  bool sendTemplateNamesWholeSlot() const;
  std::int32_t patchNumberOf(std::span<const std::uint8_t> bytes);
  // The slot of an answer to a request for `awaitedSlot`: a program or bank field the "Send"
  // template does not carry is taken from the awaited slot, since an instrument whose dumps name
  // only the program answers from the bank it was asked about (and one whose dumps name no slot
  // at all answers for the awaited slot).
  std::int32_t patchNumberOf(std::span<const std::uint8_t> bytes, std::int32_t awaitedSlot);
  std::int32_t messageLength(std::span<const std::uint8_t> bytes) const;
  // The literal bytes of the "Send" template match, the first F7 closes exactly PatchSize bytes,
  // and no other byte inside is above 7F.
  bool matchesSendTemplate(std::span<const std::uint8_t> bytes) const;
  // Bytes that a rule names outside `message` add nothing; a type that is no rule gives 0.
  // "Matrix-1000" sums the data area as rejoined nibble pairs (low nibble first), as the instrument
  // does; "AllDataBytes" sums the data bytes as they stand.
  std::uint8_t computeChecksum(const std::string& type,
                               std::span<const std::uint8_t> message) const;
  // Stores nothing when SendChecksumPos lies outside `message`.
  void applySendChecksum(std::span<std::uint8_t> message) const;

 private:
  void correctSizes();
  bool onlyDataBytesInside(std::span<const std::uint8_t> message) const;
  void logUnusableChecksumSettings() const;
  void logBytesAboveDataRange() const;
  void loadBankNames(const std::string& list);
  void loadDeviceTable(const std::string& names, const std::string& bytes);
  bool send(std::span<const std::uint8_t> message);
  // Sends each SysEx message of what a template built on its own.
  bool sendEach(std::span<const std::uint8_t> messages);
  bool sendCarries(char letter) const;
  std::int32_t slotOfVariables() const;
  // nullopt when the request's type is neither a rule nor a hexadecimal byte.
  std::optional<std::uint8_t> requestChecksum(std::span<const std::uint8_t> request) const;

  std::string instrumentName_;
  std::string settings_;
  std::string request_;
  std::string send_;
  std::string patchSelect_;
  std::string audition_;
  std::int32_t numTotalPatches_ = 256;
  std::int32_t numEditablePatches_ = 256;
  std::int32_t numPatchesPerBank_ = 128;
  std::int32_t firstPatchNumber_ = 0;
  int firstBankSign_ = 'A';
  std::int32_t bankOffset_ = 5;
  std::int32_t bankRequestOffset_ = 0;
  std::int32_t patchOffset_ = 0;
  std::int32_t headerSize_ = 8;
  std::int32_t dataSize_ = 286;
  std::int32_t footerSize_ = 1;
  std::int32_t nameOffset_ = 18;
  std::int32_t nameLen_ = 16;
  std::int32_t sendChecksumPos_ = 0;
  std::int32_t requestChecksumPos_ = 0;
  std::string checksumType_;
  std::string requestChecksumType_;
  std::vector<std::string> bankNames_;
  std::array<std::string, kMaxDevices> deviceIdNames_{};
  std::array<std::uint8_t, kMaxDevices> deviceIdBytes_{};
  unsigned deviceCount_ = 0;
  std::vector<TemplateVariable> variables_;
  SysExSender* port_ = nullptr;
};

}  // namespace banklore
