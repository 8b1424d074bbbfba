#include "ui/command_menus.h"

#include <QAction>

namespace banklore {

namespace {

QAction* addCommand(QMenu& menu, CommandId id, const char* text) {
  QAction* action = menu.addAction(QString::fromLatin1(text));
  action->setData(static_cast<int>(id));
  return action;
}

}  // namespace

void fillContextMenu(QMenu& menu, const std::vector<ContextMenuEntry>& entries) {
  for (const ContextMenuEntry& entry : entries) {
    addCommand(menu, entry.id, entry.text)->setEnabled(entry.enabled);
    if (entry.separatorAfter) menu.addSeparator();
  }
}

void fillFileMenu(QMenu& menu) {
  for (const FileMenuItem& item : fileMenuItems()) {
    addCommand(menu, item.id, item.text);
    if (item.separatorAfter) menu.addSeparator();
  }
}

std::optional<int> commandOf(const QAction* action) {
  if (!action || action->isSeparator()) return std::nullopt;
  bool ok = false;
  const int id = action->data().toInt(&ok);
  if (!ok) return std::nullopt;
  return id;
}

QKeySequence acceleratorKeys(const Accelerator& accelerator) {
  return QKeySequence::fromString(QString::fromLatin1(accelerator.keys),
                                  QKeySequence::PortableText);
}

}  // namespace banklore
