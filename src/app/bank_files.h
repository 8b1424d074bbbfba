// What the bank-file commands decide from a file name alone: the format, the folder remembered for
// the next dialog, and the type list their dialogs offer.
#pragma once

#include <string>
#include <vector>

#include "app/prompts.h"

namespace banklore {

enum class BankFileKind { None, Syx, Mid };

// ".syx" anywhere in the lower-cased path wins, folders included; then ".mid"; else neither. The
// path itself is never changed: only the decision ignores case.
BankFileKind bankFileKindOf(const std::string& path);

// The path up to and including its last '/'; nothing when it names no folder.
std::string folderOf(const std::string& path);

// "Midi Files (*.mid)", "SYX Files (*.syx)", "All Files (*.*)", in that order; the first one is
// preselected.
std::vector<FileFilter> bankFileFilters();

}  // namespace banklore
