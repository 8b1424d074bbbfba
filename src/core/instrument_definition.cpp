// Loading of an instrument section and the slot labels.
#include "core/instrument_definition.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "core/checksum_rules.h"
#include "platform/debug_log.h"
#include "platform/profile.h"

namespace banklore {
namespace {

constexpr std::size_t kTextCapacity = 2046;
constexpr std::size_t kShortTextCapacity = 2045;  // "PatchSelect" and "Settings"

constexpr const char* kDefaultRequest = "f0,00,20,29,01,21,x1,13,s2,s1,f7";
constexpr const char* kDefaultSend = "f0,00,20,29,01,21,ff,02";
constexpr const char* kDefaultDeviceIdNames = "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16";
constexpr const char* kDefaultDeviceIdBytes = "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15";

// Upper bounds far above any real instrument; beyond them a value can only be a typo, and taking it
// would make every bank allocate gigabytes. Each bank of the librarian holds every slot.
constexpr std::int32_t kMaxTotalPatches = 16384;
constexpr std::int32_t kMaxSectionSize = 1 << 20;  // DataSize and FooterSize, each
constexpr std::int64_t kMaxBankBytes = std::int64_t{256} << 20;

std::int32_t toInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

InstrumentDefinition::InstrumentDefinition(const std::string& definitionFile,
                                           const std::string& instrumentName, SysExSender* port)
    : instrumentName_(instrumentName), port_(port) {
  const std::string& file = definitionFile;
  const std::string& section = instrumentName;
  auto text = [&](const char* key, const char* fallback, std::size_t capacity = kTextCapacity) {
    return readText(file, section, key, fallback, capacity);
  };
  auto integer = [&](const char* key, std::int32_t fallback) {
    return readInt(file, section, key, fallback);
  };

  variables_ = {{"s", 0}, {"t", 0}, {"u", 0}};

  numTotalPatches_ = integer("NumTotalPatches", 256);
  numEditablePatches_ = integer("NumEditablePatches", 256);
  footerSize_ = integer("FooterSize", 1);
  dataSize_ = integer("DataSize", 286);

  request_ = text("Request", kDefaultRequest);
  send_ = text("Send", kDefaultSend);
  headerSize_ = countFields(send_);

  patchSelect_ = text("PatchSelect", "", kShortTextCapacity);
  audition_ = text("Audition", "");
  settings_ = text("Settings", "", kShortTextCapacity);

  bankOffset_ = integer("BankOffset", 5);
  bankRequestOffset_ = integer("BankRequestOffset", 0);
  patchOffset_ = integer("PatchOffset", 0);
  numPatchesPerBank_ = integer("NumPatchesPerBank", 128);
  const std::int32_t namePos = integer("NamePos", 10);
  nameOffset_ = toInt32(std::int64_t{namePos} + headerSize_);
  nameLen_ = integer("NameLen", 16);

  correctSizes();

  checksumType_ = text("ChecksumType", "");
  requestChecksumType_ = checksumType_;
  if (std::string requestType = text("RequestChecksumType", ""); !requestType.empty()) {
    requestChecksumType_ = std::move(requestType);
  }

  sendChecksumPos_ = integer("SendChecksumPos", 0);
  if (sendChecksumPos_ < 0) {
    sendChecksumPos_ = toInt32(std::int64_t{PatchSize()} + sendChecksumPos_ - 1);
  }
  requestChecksumPos_ = integer("RequestChecksumPos", 0);
  if (requestChecksumPos_ < 0) {
    // Counted back from the end of the request as built, as for patch messages (-1 is the byte
    // before the closing F7): a field that builds no byte must not move it onto the F7. How many
    // bytes a template builds does not depend on the variables' values.
    const auto built = static_cast<std::int64_t>(buildMessage(request_, variables_).size());
    requestChecksumPos_ = toInt32(built + requestChecksumPos_ - 1);
  }
  logUnusableChecksumSettings();
  logBytesAboveDataRange();

  firstPatchNumber_ = integer("FirstPatchNumber", 0);
  const std::string sign = text("FirstBankSign", "A");
  firstBankSign_ = sign.empty() ? 0 : static_cast<signed char>(sign.front());

  loadBankNames(text("BankNames", ""));
  loadDeviceTable(text("DeviceIDNames", kDefaultDeviceIdNames),
                  text("DeviceIDBytes", kDefaultDeviceIdBytes));
}

// Rules that keep every later size computation and buffer access in bounds. Values real
// instruments use are inside them and stay untouched; each correction is logged.
//  * NumTotalPatches: 1 to 16384.
//  * DataSize and FooterSize: 0 to 1 MiB each; PatchSize at least 1 (an all-empty layout gets a
//    one-byte footer).
//  * NumTotalPatches patches take at most 256 MiB: large patches get fewer slots.
//  * NumPatchesPerBank: at least 1, since the slot arithmetic divides by it; 0 or less means one
//    bank holding every slot (NumTotalPatches).
//  * The name field lies inside the patch message: a negative NameLen is 0; a name that starts
//    outside the message gets no field at all (NameLen 0) rather than overwriting other bytes; a
//    name that runs past the end is cut there.
// Checksum positions are not corrected here: the checksum operations skip bytes outside a message.
void InstrumentDefinition::correctSizes() {
  const char* log = LogPath();
  if (numTotalPatches_ < 1 || numTotalPatches_ > kMaxTotalPatches) {
    const std::int32_t fixed = std::clamp(numTotalPatches_, 1, kMaxTotalPatches);
    WriteLog(log, "NumTotalPatches %d is out of range; using %d\n", numTotalPatches_, fixed);
    numTotalPatches_ = fixed;
  }
  auto clampSection = [&](std::int32_t& size, const char* key) {
    if (size < 0 || size > kMaxSectionSize) {
      const std::int32_t fixed = std::clamp(size, 0, kMaxSectionSize);
      WriteLog(log, "%s %d is out of range; using %d\n", key, size, fixed);
      size = fixed;
    }
  };
  clampSection(dataSize_, "DataSize");
  clampSection(footerSize_, "FooterSize");
  if (PatchSize() < 1) {
    WriteLog(log, "PatchSize is 0; using a one-byte footer\n");
    footerSize_ = 1;
  }
  const std::int32_t patchSize = PatchSize();
  const auto fitting =
      static_cast<std::int32_t>(std::max<std::int64_t>(1, kMaxBankBytes / patchSize));
  if (numTotalPatches_ > fitting) {
    WriteLog(log, "NumTotalPatches %d of %d bytes each does not fit in memory; using %d\n",
             numTotalPatches_, patchSize, fitting);
    numTotalPatches_ = fitting;
  }
  if (numPatchesPerBank_ < 1) {
    WriteLog(log, "NumPatchesPerBank %d is not usable; using %d (one bank)\n", numPatchesPerBank_,
             numTotalPatches_);
    numPatchesPerBank_ = numTotalPatches_;
  }

  if (nameLen_ < 0) {
    WriteLog(log, "NameLen %d is negative; using 0\n", nameLen_);
    nameLen_ = 0;
  }
  if (nameOffset_ < 0 || nameOffset_ > patchSize) {
    const std::int32_t fixed = std::clamp(nameOffset_, 0, patchSize);
    WriteLog(log, "Name offset %d lies outside the %d-byte patch; no name field\n", nameOffset_,
             patchSize);
    nameOffset_ = fixed;
    nameLen_ = 0;
  } else if (nameLen_ > patchSize - nameOffset_) {
    WriteLog(log, "NameLen %d runs past the %d-byte patch; using %d\n", nameLen_, patchSize,
             patchSize - nameOffset_);
    nameLen_ = patchSize - nameOffset_;
  }
}

void InstrumentDefinition::logUnusableChecksumSettings() const {
  const char* log = LogPath();
  if (sendChecksumPos_ != 0 && !checksumType_.empty() && !isChecksumRule(checksumType_)) {
    WriteLog(log, "ChecksumType \"%s\" is neither a rule nor a hexadecimal byte; 00 is stored\n",
             checksumType_.c_str());
  }
  if (requestChecksumPos_ != 0 && !equalsIgnoringCase(checksumType_, "Q") &&
      !isChecksumRule(requestChecksumType_)) {
    WriteLog(log,
             "RequestChecksumType \"%s\" is neither a rule nor a hexadecimal byte; requests keep "
             "the byte their template builds\n",
             requestChecksumType_.c_str());
  }
}

// Bytes above 7F inside a SysEx message are taken by MIDI drivers and other programs as status
// bytes (FF is a System Reset). Variables never build one; literals and fixed checksum bytes are
// the definition author's choice and are kept, but said once here.
void InstrumentDefinition::logBytesAboveDataRange() const {
  const char* log = LogPath();
  const std::pair<const char*, const std::string*> templates[] = {
      {"Request", &request_}, {"Send", &send_}, {"PatchSelect", &patchSelect_}};
  for (const auto& [key, text] : templates) {
    for (const auto& [position, byte] : literalsAboveDataRange(*text)) {
      WriteLog(log,
               "%s field %zu builds the byte %02X, which is no MIDI data byte; kept as written\n",
               key, position, byte);
    }
  }
  // A rule masks its sum to 7 bits; only a fixed hexadecimal byte can be above 7F.
  auto fixedByteAbove7F = [](const std::string& type) {
    const auto byte = checksumByRule(type, {}, 0, 0);
    return byte && *byte > 0x7F;
  };
  if (sendChecksumPos_ != 0 && fixedByteAbove7F(checksumType_)) {
    WriteLog(log, "ChecksumType \"%s\" stores a byte above 7F, which is no MIDI data byte\n",
             checksumType_.c_str());
  }
  if (requestChecksumPos_ != 0 && !equalsIgnoringCase(checksumType_, "Q") &&
      fixedByteAbove7F(requestChecksumType_)) {
    WriteLog(log, "RequestChecksumType \"%s\" stores a byte above 7F, which is no MIDI data byte\n",
             requestChecksumType_.c_str());
  }
}

void InstrumentDefinition::loadBankNames(const std::string& list) {
  bankNames_.clear();
  if (list.empty()) {
    const std::int32_t banks = numTotalPatches_ / numPatchesPerBank_;
    bankNames_.reserve(static_cast<std::size_t>(banks));
    for (std::int32_t i = 0; i < banks; ++i) {
      // One character per bank, A, B, C, ...; a code that wraps to 0 names no bank.
      const char letter = static_cast<char>((65 + i) & 0xFF);
      bankNames_.push_back(letter == '\0' ? std::string() : std::string(1, letter));
    }
    return;
  }
  FieldTokenizer items{list};
  bankNames_.resize(static_cast<std::size_t>(items.countRemaining(',')));
  for (std::string& name : bankNames_) {
    const auto item = items.nextField(',');
    if (!item || item->empty()) break;
    name = std::string(*item);
  }
}

void InstrumentDefinition::loadDeviceTable(const std::string& names, const std::string& bytes) {
  unsigned nameCount = 0;
  FieldTokenizer nameItems{names};
  while (nameCount < kMaxDevices) {
    const auto item = nameItems.nextField(',');
    if (!item || item->empty()) break;
    deviceIdNames_[nameCount++] = std::string(*item);
  }
  unsigned byteCount = 0;
  FieldTokenizer byteItems{bytes};
  while (byteCount < kMaxDevices) {
    const auto item = byteItems.nextField(',');
    if (!item || item->empty()) break;
    deviceIdBytes_[byteCount++] = static_cast<std::uint8_t>(leadingDecimal(*item) & 0xFF);
  }
  deviceCount_ = std::max(nameCount, byteCount);
}

std::string InstrumentDefinition::patchLabel(std::int32_t slot) const {
  char label[64];
  const std::int32_t bank = slot / numPatchesPerBank_;
  const std::int64_t place = slot % numPatchesPerBank_;
  const bool named = bank >= 0 && static_cast<std::size_t>(bank) < bankNames_.size() &&
                     !bankNames_[static_cast<std::size_t>(bank)].empty();
  if (named) {
    std::snprintf(label, sizeof label, "%03lld", static_cast<long long>(place + firstPatchNumber_));
    return bankNames_[static_cast<std::size_t>(bank)] + label;
  } else if (firstBankSign_ >= '0' && firstBankSign_ <= '9') {
    std::snprintf(label, sizeof label, "%03lld",
                  static_cast<long long>(std::int64_t{slot} + (firstBankSign_ - '0') * 100));
  } else {
    // A sign of code 0 (empty "FirstBankSign") ends the text at once, as it always has. The
    // letter wraps as a character does; summed in 64 bits, since a slot far beyond the banks
    // makes a bank number that the sign would carry past the range of int.
    const auto letter = static_cast<char>((firstBankSign_ + std::int64_t{bank}) & 0xFF);
    std::snprintf(label, sizeof label, "%c%03lld", letter,
                  static_cast<long long>(place + firstPatchNumber_));
  }
  return std::string(label);
}

}  // namespace banklore
