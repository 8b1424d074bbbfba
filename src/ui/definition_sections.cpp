#include "ui/definition_sections.h"

#include <algorithm>
#include <cstdio>

#include "platform/profile.h"
#include "platform/regular_file.h"

namespace banklore {

namespace {

constexpr std::size_t kPieceLimit = 2046;  // characters per read, line end included

// ASCII only, like the profile lookup: no locale may change how names compare.
char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void judgePiece(std::string_view piece, std::vector<std::string>& names) {
  if (piece.size() < 2 || piece.front() != '[' || piece[piece.size() - 2] != ']') return;
  const std::size_t close = piece.find(']', 1);
  names.emplace_back(piece.substr(1, close - 1));
}

}  // namespace

std::vector<std::string> sectionHeadersIn(std::string_view text) {
  std::vector<std::string> names;
  std::string piece;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    // CR LF is one line end, as a text-mode read sees it.
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    piece.push_back(c);
    if (c == '\n' || piece.size() == kPieceLimit) {
      judgePiece(piece, names);
      piece.clear();
    }
  }
  if (!piece.empty()) judgePiece(piece, names);
  return names;
}

std::vector<std::string> sectionHeadersOf(const std::string& path) {
  // Only a regular file, opened without waiting: a FIFO would block the dialog for good.
  const FileHandle in = openRegularForReading(path);
  if (!in) return {};
  std::string text;
  char chunk[8192];
  while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, in.get())) {
    text.append(chunk, got);
  }
  return sectionHeadersIn(text);
}

void sortInstrumentNames(std::vector<std::string>& names) {
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
  });
}

int preselectedInstrument(const std::vector<std::string>& names, std::string_view wanted) {
  int chosen = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (equalsIgnoringCase(names[i], wanted)) chosen = static_cast<int>(i);
  }
  return chosen;
}

}  // namespace banklore
