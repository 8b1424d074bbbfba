// The instrument names the chooser offers: the section headers of the definition file, read line
// by line as plain text, sorted without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace banklore {

// A line read is a header when it starts with "[" and its last character before the line end is
// "]"; the name runs from after "[" to the first "]". A header on a final line without a line end,
// or with blanks after the "]", is not one. Lines longer than 2046 characters are judged in pieces.
// CR LF ends a line like LF. Names appear in file order, duplicates included.
std::vector<std::string> sectionHeadersIn(std::string_view text);

// The same for a file; empty when it cannot be read.
std::vector<std::string> sectionHeadersOf(const std::string& path);

// Alphabetical without regard to case; equal names keep their file order.
void sortInstrumentNames(std::vector<std::string>& names);

// The last entry equal to `wanted` without regard to case; 0 when none is (or the list is empty).
int preselectedInstrument(const std::vector<std::string>& names, std::string_view wanted);

}  // namespace banklore
