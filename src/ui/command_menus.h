// Menus and keys built from the librarian's command tables: the list context menu, the window's
// "File" menu and the accelerator keys. Each action carries its command identifier as data.
#pragma once

#include <QKeySequence>
#include <QMenu>
#include <optional>
#include <vector>

#include "app/main_window.h"

namespace banklore {

// Fills `menu` with the context-menu entries in order, grayed as the librarian decided, with a
// separator after each entry that asks for one. The text after the tab shows on the right.
void fillContextMenu(QMenu& menu, const std::vector<ContextMenuEntry>& entries);

// Fills `menu` with the "File" menu's items; they are never disabled.
void fillFileMenu(QMenu& menu);

// The command identifier an action of these menus raises; nothing for other actions.
std::optional<int> commandOf(const QAction* action);

// "Ctrl+Alt+L" and the like as a key sequence.
QKeySequence acceleratorKeys(const Accelerator& accelerator);

}  // namespace banklore
