#include "core/audition.h"

#include "core/checksum_rules.h"
#include "core/sysex_template.h"

namespace banklore {

std::vector<std::uint8_t> auditionMessage(const InstrumentDefinition& definition,
                                          std::string_view auditionTemplate,
                                          std::span<const std::uint8_t> patch) {
  const auto headerSize = static_cast<std::size_t>(definition.HeaderSize());
  if (auditionTemplate.empty() ||
      patch.size() != static_cast<std::size_t>(definition.PatchSize()) ||
      headerSize > patch.size()) {
    return {};
  }
  std::vector<std::uint8_t> message = buildMessage(auditionTemplate, definition.variables());
  const std::size_t dataStart = message.size();
  message.insert(message.end(), patch.begin() + static_cast<std::ptrdiff_t>(headerSize),
                 patch.end());
  const std::int64_t at = std::int64_t{definition.SendChecksumPos()} - std::int64_t(headerSize) +
                          std::int64_t(dataStart);
  if (definition.SendChecksumPos() > 0 && !definition.ChecksumType().empty() && at >= 0 &&
      at < std::int64_t(message.size())) {
    message[static_cast<std::size_t>(at)] =
        checksumByRule(definition.ChecksumType(), message, static_cast<std::int64_t>(dataStart),
                       definition.DataSize())
            .value_or(0);
  }
  return message;
}

}  // namespace banklore
