// The numeric commands shared by menu items, buttons and accelerator keys, the context menu's
// items, and the rule that enables or grays them.
#pragma once

#include <array>
#include <span>
#include <string_view>

namespace banklore {

enum class CommandId : int {
  SelectAll = 40003,
  SelectNone = 40004,
  SaveSelected = 40006,
  CopyToOtherBank = 40007,
  Load = 40008,
  LoadToSelected = 40009,
  SendSelected = 40010,
  RequestSelected = 40011,
  Rename = 40012,
  Move = 40013,
  Quit = 40016,
  ChangeInstrument = 40017,
  Sort = 40019,
  Copy = 40020,
  Paste = 40021,
  Swap = 40023,
  Setup = 1016,
  About = 1017,
  UpBank0 = 1019,
  UpBank1 = 1020,
  DownBank0 = 1049,
  DownBank1 = 1050,
  ActivateBank0 = 1051,
  ActivateBank1 = 1052,
  // Additions to the classic set.
  Undo = 40030,
  Redo = 40031,
  MarkDuplicates = 40032,
  Audition = 40033,
  Archive = 40034,
};

// One entry of the list context menu, in menu order. `text` holds the shortcut after a tab.
struct ContextMenuItem {
  CommandId id;
  const char* text;
  bool separatorAfter;
};

// The fourteen items of the context menu, in order.
std::span<const ContextMenuItem> contextMenuItems();
// The items added after them, behind a separator ("Mark duplicates", "Audition").
std::span<const ContextMenuItem> addedContextMenuItems();

// Whether a context-menu item is enabled, given k selected slots of the bank under the cursor, a
// bank of n slots and whether the clipboard is empty. Commands outside the context menu are
// enabled.
bool contextMenuItemEnabled(CommandId id, int k, int n, bool clipboardEmpty);

// One entry of the window's "File" menu; the menu's items are never disabled.
struct FileMenuItem {
  CommandId id;
  const char* text;
  bool separatorAfter;
};
std::span<const FileMenuItem> fileMenuItems();

// A keyboard shortcut in the toolkit-neutral form "Ctrl+Alt+L", and the command it raises.
struct Accelerator {
  const char* keys;
  CommandId id;
};
// The seventeen accelerators (Rename has two).
std::span<const Accelerator> accelerators();
// The keys of the "Edit" menu: Ctrl+Z undo, Ctrl+Shift+Z redo.
std::span<const Accelerator> editAccelerators();
// The keys of the additions: Ctrl+P plays the selected patch, Ctrl+Shift+A opens the archive.
std::span<const Accelerator> addedAccelerators();

// What the undo step of a command is called in the "Edit" menu ("Paste" for "Undo Paste");
// "Change" for a command that is not expected to change a bank.
std::string_view stepNameOf(CommandId id);

}  // namespace banklore
