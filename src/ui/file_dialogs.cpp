#include "ui/file_dialogs.h"

#include <QDir>
#include <QFileInfo>

#include "ui/display_text.h"

namespace banklore {

QStringList nameFilters(const std::vector<FileFilter>& filters) {
  QStringList result;
  for (const FileFilter& filter : filters) {
    QString description = displayText(filter.description).trimmed();
    QString patterns = displayText(filter.pattern);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    patterns = patterns.simplified();
    if (patterns.isEmpty()) patterns = QStringLiteral("*");
    // Qt reads the patterns from the last parentheses of the text, so the description's own
    // parenthesised list is replaced by the filter's patterns.
    if (description.endsWith(QLatin1Char(')'))) {
      const qsizetype open = description.lastIndexOf(QLatin1Char('('));
      if (open >= 0) description = description.left(open).trimmed();
    }
    if (description.isEmpty()) description = patterns;
    result.push_back(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
  }
  return result;
}

void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request,
                         FileDialogMode mode) {
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setWindowTitle(displayText(request.title));
  dialog.setAcceptMode(mode == FileDialogMode::Save ? QFileDialog::AcceptSave
                                                    : QFileDialog::AcceptOpen);
  dialog.setFileMode(mode == FileDialogMode::Save ? QFileDialog::AnyFile
                                                  : QFileDialog::ExistingFile);
  const QStringList filters = nameFilters(request.filters);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
  }
  dialog.setDefaultSuffix(displayText(request.defaultExtension));
  const QString folder = pathText(request.initialFolder);
  if (!folder.isEmpty() && QDir(folder).exists()) dialog.setDirectory(folder);
  if (!request.initialFile.empty()) {
    // A full path opens its own folder; a folder that is gone must not leave the dialog empty.
    QString file = pathText(request.initialFile);
    const QFileInfo info(file);
    if (info.isAbsolute() && !info.absoluteDir().exists()) file = info.fileName();
    dialog.selectFile(file);
  }
}

std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogRequest& request,
                                         FileDialogMode mode) {
  QFileDialog dialog(parent);
  configureFileDialog(dialog, request, mode);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return pathBytes(QDir::toNativeSeparators(chosen.front()));
}

}  // namespace banklore
