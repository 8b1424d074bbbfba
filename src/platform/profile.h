// INI ("profile") file access with the semantics both the settings and the definition files rely
// on: case-insensitive section and key names, blanks around values trimmed, the empty section name,
// defaults for a missing file/section/key, nothing cached, and writes that never leave a
// half-written file. Only regular files are read and written: anything else at the path (a FIFO)
// reads as a missing file and is never written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace banklore {

// Value of key in section, or `fallback` when the file, section or key does not exist. The result
// holds at most `capacity` characters.
std::string readText(const std::string& file, std::string_view section, std::string_view key,
                     std::string_view fallback, std::size_t capacity);

// Decimal number at the start of the value (optional sign); `fallback` when the file, section or
// key is missing or the value is empty; 0 when the value does not start with a digit or sign.
std::int32_t readInt(const std::string& file, std::string_view section, std::string_view key,
                     std::int32_t fallback);

// The number at the start of `text` as atoi reads it: blanks, an optional sign, decimal digits; 0
// when no digit follows. Saturates at +-2^40. `used`, when given, receives the characters read.
std::int64_t leadingDecimal(std::string_view text, std::size_t* used = nullptr);

// Replaces or adds the key, creating file and section as needed; every other line is kept.
// Writes through AtomicFile (a temporary file renamed over the target, or in place in a folder the
// user cannot write); false when that fails, when the file exists but cannot be read or written or
// is no regular file, and for text that would break the file's lines (a line break in any
// argument, an empty key, "=" in the key, "]" in the section name).
bool writeText(const std::string& file, std::string_view section, std::string_view key,
               std::string_view text);
bool writeInt(const std::string& file, std::string_view section, std::string_view key,
              std::int64_t value);

// True when the texts are equal, ASCII letters compared without regard to case (whatever the
// locale): the way section and key names are matched.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Section names in file order (as written, without brackets); empty for a missing file.
std::vector<std::string> sectionNames(const std::string& file);

}  // namespace banklore
