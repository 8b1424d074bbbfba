// Open and save dialogs set up from the librarian's request: title, type list in its order,
// folder and file to start from, the extension added to a bare name, and no question about
// replacing a file (the librarian asks that itself where it matters).
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "app/prompts.h"

namespace banklore {

enum class FileDialogMode { Open, Save };

// "SysEx Files (*.syx)" with pattern "*.syx" stays as it is; a description without the patterns
// gets them appended; several patterns separated by ';' are shown separated by blanks.
QStringList nameFilters(const std::vector<FileFilter>& filters);

void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request,
                         FileDialogMode mode);

// Runs the dialog: the chosen full path, or nothing when cancelled.
std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogRequest& request,
                                         FileDialogMode mode);

}  // namespace banklore
