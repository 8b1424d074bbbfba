// Instrument definitions read from any section text, and every message operation on the result.
// Invariants:
// - Loading never fails and leaves sizes every later buffer access relies on: at least one slot
//   and one slot per bank, a patch of at least one byte, all patches within 256 MiB, the name field
//   inside the patch, at most 256 devices, HeaderSize the field count of "Send".
// - No operation reads or writes outside its buffers (the sanitizers watch), whatever the slot
//   number (negative and huge ones included) or device index.
// - A slot's header read back gives the slot (when the header carries its program and bank within
//   the seven bits a field holds); patchNumberOf always lands in the bank's slots when a bank is
//   no larger than the whole.
// - sendPatchData sends one PatchSize-byte patch message (after any PatchSelect), equal to the
//   buffer apart from the header and the checksum byte, and leaves the buffer as it was.
// - loadBytes copies the bytes unchanged and judges them as matchesSendTemplate does; a name reads
//   as NameLen printable characters.
#include "core/instrument_definition.h"
#include "core/patch.h"
#include "fuzz_support.h"
#include "platform/debug_log.h"

namespace banklore::fuzz {
namespace {

struct Recorder : SysExSender {
  bool SendSysEx(const std::uint8_t* bytes, std::size_t length) override {
    sent.emplace_back(bytes, bytes + length);
    return true;
  }
  std::vector<Bytes> sent;
};

// Every field builds exactly one byte at its own position: literals and the variables s, t, u.
bool alignedTemplate(const std::string& text) {
  FieldTokenizer fields(text);
  while (const auto field = fields.nextField(',')) {
    if (field->empty()) return false;
    if (isHexByteToken(*field)) continue;
    if (field->size() != 2 || std::string_view("stu").find((*field)[0]) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// Whether the template carries variable `letter` as a whole low seven bits.
bool carriesLow(const std::string& text, char letter) {
  FieldTokenizer fields(text);
  while (const auto field = fields.nextField(',')) {
    if (field->size() == 2 && !isHexByteToken(*field) && (*field)[0] == letter &&
        std::string_view("2h34").find((*field)[1]) == std::string_view::npos) {
      return true;
    }
  }
  return false;
}

void checkSizes(const InstrumentDefinition& d) {
  FUZZ_CHECK(d.NumPatchesPerBank() >= 1);
  FUZZ_CHECK(d.NumTotalPatches() >= 1 && d.NumTotalPatches() <= 16384);
  FUZZ_CHECK(d.HeaderSize() == countFields(d.Send()));
  FUZZ_CHECK(d.DataSize() >= 0 && d.FooterSize() >= 0 && d.PatchSize() >= 1);
  FUZZ_CHECK(std::int64_t{d.PatchSize()} * d.NumTotalPatches() <= (std::int64_t{256} << 20));
  FUZZ_CHECK(d.NameLen() >= 0 && d.NameOffset() >= 0);
  FUZZ_CHECK(std::int64_t{d.NameOffset()} + d.NameLen() <= d.PatchSize());
  FUZZ_CHECK(d.DeviceCount() <= InstrumentDefinition::kMaxDevices);
}

void checkName(const Patch& patch, const InstrumentDefinition& d) {
  const std::string name = patch.name();
  FUZZ_CHECK_MSG(name.size() == static_cast<std::size_t>(d.NameLen()), name);
  for (const char c : name) FUZZ_CHECK_MSG(c >= 0x20 && c <= 0x7F, name);
}

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  banklore::SetLogPath("");  // what loading logs about odd values is not wanted here
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace banklore;
  using namespace banklore::fuzz;
  FuzzedDataProvider in(data, size);
  const std::string file = scratch().file("test.idf");
  writeFile(file, "[Test]\n" + in.ConsumeRandomLengthString(2048));
  Recorder port;
  InstrumentDefinition d(file, "Test", &port);
  checkSizes(d);
  (void)d.sendTemplateNamesSlot();
  const auto patchSize = static_cast<std::size_t>(d.PatchSize());
  const std::int32_t total = d.NumTotalPatches();

  std::vector<std::int32_t> slots = {0, total - 1, -1, std::numeric_limits<std::int32_t>::max(),
                                     std::numeric_limits<std::int32_t>::min()};
  for (int i = 0; i < 3; ++i) slots.push_back(in.ConsumeIntegral<std::int32_t>());
  slots.push_back(in.ConsumeIntegralInRange<std::int32_t>(0, total - 1));
  for (const std::int32_t slot : slots) {
    (void)d.patchLabel(slot);
    Patch patch(d);
    FUZZ_CHECK(patch.size() == patchSize);
    patch.setDeviceId(in.ConsumeIntegral<int>());
    patch.placeInSlot(slot);
    const std::int32_t named = patch.patchNumber();
    if (d.NumPatchesPerBank() <= total)
      FUZZ_CHECK_MSG(named >= 0 && named < total, hex(patch.bytes()));
    const std::int64_t program = std::int64_t{slot} % d.NumPatchesPerBank() + d.PatchOffset();
    const std::int64_t bank = std::int64_t{slot} / d.NumPatchesPerBank() + d.BankOffset();
    if (slot >= 0 && slot < total && alignedTemplate(d.Send()) && carriesLow(d.Send(), 's') &&
        carriesLow(d.Send(), 't') && program >= 0 && program < 128 && bank >= 0 && bank < 128) {
      FUZZ_CHECK_MSG(named == slot, "slot " + std::to_string(slot) + " read back as " +
                                        std::to_string(named) + ": " + hex(patch.bytes()));
      FUZZ_CHECK(d.patchNumberOf(patch.bytes(), in.ConsumeIntegral<std::int32_t>()) == slot);
    }
    (void)d.patchNumberOf(patch.bytes(), slot);
    (void)patch.request(slot);

    port.sent.clear();
    const Bytes before(patch.bytes().begin(), patch.bytes().end());
    (void)d.sendPatchData(patch.bytes());
    FUZZ_CHECK(std::equal(before.begin(), before.end(), patch.bytes().begin()));
    FUZZ_CHECK(!port.sent.empty());
    const Bytes& message = port.sent.back();
    FUZZ_CHECK_MSG(message.size() == patchSize, hex(message));
    const auto header = std::min(buildMessage(d.Send(), d.variables()).size(), patchSize);
    for (std::size_t i = header; i < patchSize; ++i) {
      FUZZ_CHECK_MSG(message[i] == before[i] || static_cast<std::int64_t>(i) == d.SendChecksumPos(),
                     "byte " + std::to_string(i) + " of " + hex(message));
    }
    (void)patch.send(slot == 0 ? -1 : slot);
  }

  // Received bytes of any length and content.
  const Bytes received = in.ConsumeBytes<std::uint8_t>(patchSize + 2);
  const std::span<const std::uint8_t> bytes(received);
  FUZZ_CHECK(d.matchesSendTemplate(bytes) ==
             (bytes.size() >= patchSize && d.matchesSendTemplate(bytes.first(patchSize))));
  if (bytes.size() < patchSize) FUZZ_CHECK(!d.matchesSendTemplate(bytes));
  const std::int32_t length = d.messageLength(bytes);
  FUZZ_CHECK(length >= 0 && length <= d.PatchSize());
  (void)d.patchNumberOf(bytes);
  (void)d.computeChecksum(in.ConsumeRandomLengthString(24), bytes);
  (void)d.computeChecksum(d.ChecksumType(), bytes);
  (void)d.computeChecksum(d.RequestChecksumType(), bytes);

  Patch loaded(d);
  const bool valid = loaded.loadBytes(bytes);
  FUZZ_CHECK(valid == d.matchesSendTemplate(bytes.first(std::min(bytes.size(), patchSize))) ||
             bytes.size() < patchSize);
  const std::size_t copied = std::min(bytes.size(), patchSize);
  FUZZ_CHECK_MSG(std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(copied),
                            loaded.bytes().begin()),
                 "loadBytes changed what it copied: " + hex(loaded.bytes()));
  checkName(loaded, d);
  if (bytes.size() >= patchSize && valid) FUZZ_CHECK(loaded.isValid());

  Bytes message(loaded.bytes().begin(), loaded.bytes().end());
  d.applySendChecksum(message);
  for (std::size_t i = 0; i < message.size(); ++i) {
    FUZZ_CHECK(message[i] == loaded.bytes()[i] ||
               static_cast<std::int64_t>(i) == d.SendChecksumPos());
  }
  const std::string text = in.ConsumeRandomLengthString(40);
  loaded.setName(text);
  checkName(loaded, d);
  const bool plain =
      std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  if (plain && text.size() <= static_cast<std::size_t>(d.NameLen())) {
    FUZZ_CHECK_MSG(loaded.name() == text + std::string(d.NameLen() - text.size(), ' '), text);
  }
  loaded.updateChecksum();
  return 0;
}
