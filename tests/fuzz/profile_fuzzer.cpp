// The INI reader and writer on a file that starts as any bytes, with a few names used over and
// over so that writes hit each other. Invariants:
// - A write the writer accepts reads back: the value written without its surrounding blanks (which
//   the format does not keep), and writeInt's number as itself (within 32 bits; saturated beyond).
// - A write changes only its own entry: every other (section, key) reads as before, and the
//   sections are those before plus the new one, if any.
// - The writer refuses only what the format cannot hold (a line break anywhere, an empty key, a key
//   with "=" or starting with "[" or ";", a section with "]"), and a refused write leaves the file
//   byte for byte as it was.
#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "fuzz_support.h"
#include "platform/profile.h"

namespace banklore::fuzz {
namespace {

constexpr char kMissing[] = "\n<missing>";  // a line break: never a stored value
constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool hasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// What the file format can hold at all, whatever the file holds already.
bool storable(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view k = trimmed(key);
  return !k.empty() && k.find('=') == k.npos && k.front() != '[' && k.front() != ';' &&
         trimmed(section).find(']') == std::string_view::npos && !hasLineBreak(section) &&
         !hasLineBreak(key) && !hasLineBreak(value);
}

bool sameName(std::string_view a, std::string_view b) {
  return equalsIgnoringCase(trimmed(a), trimmed(b));
}

std::optional<std::string> contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Names {
  std::vector<std::string> sections;
  std::vector<std::string> keys;
};

// Every (section, key) of the names, as read now.
std::vector<std::string> readAll(const std::string& file, const Names& names) {
  std::vector<std::string> values;
  for (const std::string& section : names.sections) {
    for (const std::string& key : names.keys) {
      values.push_back(readText(file, section, key, kMissing, kNoLimit));
    }
  }
  return values;
}

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace banklore;
  using namespace banklore::fuzz;
  FuzzedDataProvider in(data, size);
  const std::string file = scratch().file("settings.ini");
  std::filesystem::remove(file);
  if (in.ConsumeBool()) writeFile(file, in.ConsumeRandomLengthString(512));

  Names names;
  const int sectionCount = in.ConsumeIntegralInRange(1, 3);
  const int keyCount = in.ConsumeIntegralInRange(1, 3);
  for (int i = 0; i < sectionCount; ++i) names.sections.push_back(in.ConsumeRandomLengthString(12));
  for (int i = 0; i < keyCount; ++i) names.keys.push_back(in.ConsumeRandomLengthString(12));

  for (int step = 0; step < 6 && in.remaining_bytes() > 0; ++step) {
    const std::size_t s = in.ConsumeIntegralInRange<std::size_t>(0, names.sections.size() - 1);
    const std::size_t k = in.ConsumeIntegralInRange<std::size_t>(0, names.keys.size() - 1);
    const std::string& section = names.sections[s];
    const std::string& key = names.keys[k];
    const bool asInt = in.ConsumeBool();
    const std::int64_t number = in.ConsumeIntegral<std::int64_t>();
    const std::string value = asInt ? std::to_string(number) : in.ConsumeRandomLengthString(40);

    const std::vector<std::string> before = readAll(file, names);
    const std::vector<std::string> sectionsBefore = sectionNames(file);
    const std::optional<std::string> bytesBefore = contents(file);
    const bool written =
        asInt ? writeInt(file, section, key, number) : writeText(file, section, key, value);
    const std::vector<std::string> after = readAll(file, names);

    if (!written) {
      FUZZ_CHECK_MSG(!storable(section, key, value),
                     "refused [" + section + "] " + key + "=" + value);
      FUZZ_CHECK(contents(file) == bytesBefore);
      continue;
    }
    FUZZ_CHECK_MSG(storable(section, key, value), "accepted [" + section + "] " + key);
    const std::string readBack = readText(file, section, key, kMissing, kNoLimit);
    FUZZ_CHECK_MSG(readBack == trimmed(value),
                   "[" + section + "] " + key + "=" + value + " read back as " + readBack);
    if (asInt) {
      const auto expected = static_cast<std::int32_t>(
          std::clamp<std::int64_t>(number, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max()));
      FUZZ_CHECK_MSG(readInt(file, section, key, 7) == expected, value);
    }
    std::size_t index = 0;
    for (const std::string& otherSection : names.sections) {
      for (const std::string& otherKey : names.keys) {
        const bool same = sameName(otherSection, section) && sameName(otherKey, key);
        FUZZ_CHECK_MSG(same || after[index] == before[index], "[" + otherSection + "] " + otherKey +
                                                                  " changed from " + before[index] +
                                                                  " to " + after[index]);
        ++index;
      }
    }
    std::vector<std::string> sectionsAfter = sectionNames(file);
    if (sectionsAfter.size() == sectionsBefore.size() + 1) {
      FUZZ_CHECK(sectionsAfter.back() == trimmed(section));
      sectionsAfter.pop_back();
    }
    FUZZ_CHECK(sectionsAfter == sectionsBefore);
  }
  return 0;
}
