#include "platform/profile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <mutex>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/debug_log.h"
#include "platform/regular_file.h"

// File format, as read and written here:
// - "[name]" (blanks around it and around the name allowed) starts a section; text after the first
//   "]" is ignored. Lines before the first header belong to no section.
// - "key=value" inside a section; blanks around key and value are not part of them. The first "="
//   splits, so a value may contain "=". No quoting: quotes are part of the value.
// - Lines starting with ";" are comments; any other line is kept as it is and otherwise ignored.
// - A UTF-8 byte-order mark at the start of the file is passed over (and kept on writing).
// - LF and CR LF line ends are both read; a write keeps the file's own line ends.
// - A section name that occurs twice reads as one section; of two equal keys the first one counts,
//   and a write replaces that one.
namespace banklore {
namespace {

// Read-modify-write of one file by two threads would lose one of the writes.
std::mutex& writeMutex() {
  static std::mutex mutex;
  return mutex;
}

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\n", "\r\n", or "" for a last line without line end
};

enum class Kind { kOther, kHeader, kEntry };

struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;   // section name of a header, key of an entry
  std::string_view value;  // value of an entry
};

std::string_view trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// `first`: the file's first line, the one place an editor puts a byte-order mark. Anywhere else
// those bytes belong to the text (a key may start with them), so they are kept there.
Parsed parse(std::string_view text, bool first) {
  Parsed parsed;
  if (first && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::string_view trimmed = trim(text);
  if (trimmed.empty() || trimmed.front() == ';') return parsed;
  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close == std::string_view::npos) return parsed;
    parsed.kind = Kind::kHeader;
    parsed.name = trim(trimmed.substr(1, close - 1));
    return parsed;
  }
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return parsed;
  parsed.kind = Kind::kEntry;
  parsed.name = trim(trimmed.substr(0, equals));
  parsed.value = trim(trimmed.substr(equals + 1));
  return parsed;
}

// The file's lines; nullopt when it cannot be read. `missing` tells a file that does not exist
// from one that exists but cannot be read (which a write must not replace). Anything but a regular
// file (a FIFO would block the read for good) cannot be read, so reading it gives the defaults.
std::optional<std::vector<Line>> readLines(const std::string& file, bool* missing = nullptr) {
  const FileHandle stream = openRegularForReading(file);
  if (missing != nullptr) *missing = !stream && errno == ENOENT;
  if (!stream) return std::nullopt;
  std::string content;
  char chunk[8192];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream.get())) > 0) content.append(chunk, got);
  if (std::ferror(stream.get()) != 0) return std::nullopt;

  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t newline = content.find('\n', start);
    if (newline == std::string::npos) {
      lines.push_back({content.substr(start), ""});
      break;
    }
    const bool crlf = newline > start && content[newline - 1] == '\r';
    const std::size_t textEnd = crlf ? newline - 1 : newline;
    lines.push_back({content.substr(start, textEnd - start), crlf ? "\r\n" : "\n"});
    start = newline + 1;
  }
  return lines;
}

std::optional<std::string> findValue(const std::string& file, std::string_view section,
                                     std::string_view key) {
  const auto lines = readLines(file);
  if (!lines) return std::nullopt;
  section = trim(section);
  key = trim(key);
  bool inSection = false;
  for (const Line& line : *lines) {
    const Parsed parsed = parse(line.text, &line == &lines->front());
    if (parsed.kind == Kind::kHeader) {
      inSection = equalsIgnoringCase(parsed.name, section);
    } else if (inSection && parsed.kind == Kind::kEntry && equalsIgnoringCase(parsed.name, key)) {
      return std::string(parsed.value);
    }
  }
  return std::nullopt;
}

bool hasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != text.npos;
}

// Replaces the first entry that reading would find; false when there is none.
bool replaceEntry(std::vector<Line>& lines, std::string_view section, std::string_view key,
                  const std::string& entry) {
  bool inSection = false;
  for (Line& line : lines) {
    const Parsed parsed = parse(line.text, &line == &lines.front());
    if (parsed.kind == Kind::kHeader) {
      inSection = equalsIgnoringCase(parsed.name, section);
    } else if (inSection && parsed.kind == Kind::kEntry && equalsIgnoringCase(parsed.name, key)) {
      line.text = entry;
      return true;
    }
  }
  return false;
}

// Adds the entry after the last entry of the section's first occurrence (so comments that lead
// into the next section stay with it), or appends the section at the end of the file.
void addEntry(std::vector<Line>& lines, std::string_view section, const std::string& entry,
              const std::string& end) {
  std::optional<std::size_t> insertAt;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed parsed = parse(lines[i].text, i == 0);
    if (parsed.kind == Kind::kHeader) {
      if (insertAt) break;
      if (equalsIgnoringCase(parsed.name, section)) insertAt = i + 1;
    } else if (insertAt && parsed.kind == Kind::kEntry) {
      insertAt = i + 1;
    }
  }
  std::vector<Line> added;
  if (!insertAt) {
    insertAt = lines.size();
    std::string header(1, '[');
    header.append(section).push_back(']');
    added.push_back({std::move(header), end});
  }
  added.push_back({entry, end});
  // A last line without line end gets one before anything follows it.
  if (*insertAt > 0 && lines[*insertAt - 1].end.empty()) lines[*insertAt - 1].end = end;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), added.begin(), added.end());
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
           return lower(x) == lower(y);
         });
}

std::string readText(const std::string& file, std::string_view section, std::string_view key,
                     std::string_view fallback, std::size_t capacity) {
  std::string text = findValue(file, section, key).value_or(std::string(fallback));
  if (text.size() > capacity) text.resize(capacity);
  return text;
}

std::int64_t leadingDecimal(std::string_view text, std::size_t* used) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{1} << 40);
  }
  if (used != nullptr) *used = i;
  return negative ? -value : value;
}

// A key that is present with an empty value ("DataSize=") reads as the fallback, as a missing key
// does: an empty value is taken to mean "not set" rather than "0". Digits past the 32-bit range
// saturate instead of wrapping to a number of the other sign.
std::int32_t readInt(const std::string& file, std::string_view section, std::string_view key,
                     std::int32_t fallback) {
  const std::optional<std::string> value = findValue(file, section, key);
  if (!value || value->empty()) return fallback;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(leadingDecimal(*value), std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()));
}

bool writeText(const std::string& file, std::string_view section, std::string_view key,
               std::string_view text) {
  section = trim(section);
  key = trim(key);
  // Anything that would change the file's structure when written is refused.
  if (key.empty() || key.find('=') != key.npos || key.front() == '[' || key.front() == ';' ||
      section.find(']') != section.npos || hasLineBreak(section) || hasLineBreak(key) ||
      hasLineBreak(text)) {
    return false;
  }

  std::lock_guard lock(writeMutex());
  bool missing = false;
  std::optional<std::vector<Line>> read = readLines(file, &missing);
  if (!read && !missing) return false;  // exists but unreadable: never replace what we cannot keep
  std::vector<Line> lines = read ? std::move(*read) : std::vector<Line>{};

  const std::string end = !lines.empty() && lines.front().end == "\r\n" ? "\r\n" : "\n";
  std::string entry(key);  // appended piecewise: GCC 12 warns falsely on string + at -O3
  entry.push_back('=');
  entry.append(text);

  if (!replaceEntry(lines, section, key, entry)) addEntry(lines, section, entry, end);

  AtomicFile out(file);
  if (!out.open()) return false;
  bool written = true;
  for (const Line& line : lines) {
    if (std::fwrite(line.text.data(), 1, line.text.size(), out.stream()) != line.text.size() ||
        std::fwrite(line.end.data(), 1, line.end.size(), out.stream()) != line.end.size()) {
      written = false;
      break;
    }
  }
  if (written && out.commit()) return true;
  out.discard();
  // Only a file rewritten in place can be left damaged; the caller knows no more than "failed".
  if (out.oldContentLost()) {
    WriteLog(LogPath(), "Writing %s failed and its old contents could not be put back\n",
             file.c_str());
  }
  return false;
}

bool writeInt(const std::string& file, std::string_view section, std::string_view key,
              std::int64_t value) {
  return writeText(file, section, key, std::to_string(value));
}

std::vector<std::string> sectionNames(const std::string& file) {
  std::vector<std::string> names;
  const auto lines = readLines(file);
  if (!lines) return names;
  for (const Line& line : *lines) {
    const Parsed parsed = parse(line.text, &line == &lines->front());
    if (parsed.kind == Kind::kHeader) names.emplace_back(parsed.name);
  }
  return names;
}

}  // namespace banklore
