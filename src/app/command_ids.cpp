#include "app/command_ids.h"

namespace banklore {

namespace {

constexpr std::array<ContextMenuItem, 14> kContextMenu{{
    {CommandId::SelectAll, "Select &All\tCtrl+A", false},
    {CommandId::SelectNone, "Select &None\tCtrl+N", true},
    {CommandId::SendSelected, "S&end Selected\tAlt+S", false},
    {CommandId::RequestSelected, "&Request Selected\tAlt+R", true},
    {CommandId::SaveSelected, "&Save Selected...\tCtrl+S", false},
    {CommandId::Load, "&Load...\tCtrl+L", false},
    {CommandId::LoadToSelected, "L&oad to selected slots...\tCtrl+Alt+L", true},
    {CommandId::CopyToOtherBank, "&Copy to other bank\tF5", true},
    {CommandId::Rename, "Rena&me\tShift+F6 / Alt+N", true},
    {CommandId::Copy, "Copy\tCtrl+C", false},
    {CommandId::Paste, "Paste\tCtrl+V", true},
    {CommandId::Swap, "Swap\tCtrl+Alt+S", true},
    {CommandId::Move, "Move...\tAlt+M", true},
    {CommandId::Sort, "Sort alphabetically\tCtrl+Shift+S", false},
}};

constexpr std::array<ContextMenuItem, 2> kAddedContextMenu{{
    {CommandId::MarkDuplicates, "Mark duplicates", false},
    {CommandId::Audition, "Audition\tCtrl+P", false},
}};

constexpr std::array<FileMenuItem, 6> kFileMenu{{
    {CommandId::SaveSelected, "&Save Selected...", false},
    {CommandId::Load, "&Load...", false},
    {CommandId::LoadToSelected, "L&oad to selected slots...", true},
    {CommandId::Archive, "&Archive...\tCtrl+Shift+A", true},
    {CommandId::ChangeInstrument, "Change Instrument...", true},
    {CommandId::Quit, "Quit", false},
}};

constexpr std::array<Accelerator, 17> kAccelerators{{
    {"Ctrl+A", CommandId::SelectAll},
    {"Ctrl+N", CommandId::SelectNone},
    {"Alt+S", CommandId::SendSelected},
    {"Alt+R", CommandId::RequestSelected},
    {"Ctrl+S", CommandId::SaveSelected},
    {"Ctrl+L", CommandId::Load},
    {"Ctrl+Alt+L", CommandId::LoadToSelected},
    {"F5", CommandId::CopyToOtherBank},
    {"Shift+F6", CommandId::Rename},
    {"Alt+N", CommandId::Rename},
    {"Ctrl+C", CommandId::Copy},
    {"Ctrl+V", CommandId::Paste},
    {"Ctrl+Alt+S", CommandId::Swap},
    {"Alt+M", CommandId::Move},
    {"Ctrl+Shift+S", CommandId::Sort},
    {"F1", CommandId::ActivateBank0},
    {"F2", CommandId::ActivateBank1},
}};

constexpr std::array<Accelerator, 2> kEditAccelerators{{
    {"Ctrl+Z", CommandId::Undo},
    {"Ctrl+Shift+Z", CommandId::Redo},
}};

constexpr std::array<Accelerator, 2> kAddedAccelerators{{
    {"Ctrl+P", CommandId::Audition},
    {"Ctrl+Shift+A", CommandId::Archive},
}};

}  // namespace

std::span<const ContextMenuItem> contextMenuItems() {
  return kContextMenu;
}
std::span<const ContextMenuItem> addedContextMenuItems() {
  return kAddedContextMenu;
}
std::span<const Accelerator> editAccelerators() {
  return kEditAccelerators;
}
std::span<const Accelerator> addedAccelerators() {
  return kAddedAccelerators;
}
std::span<const FileMenuItem> fileMenuItems() {
  return kFileMenu;
}
std::span<const Accelerator> accelerators() {
  return kAccelerators;
}

bool contextMenuItemEnabled(CommandId id, int k, int n, bool clipboardEmpty) {
  switch (id) {
    case CommandId::SelectAll:
      return k < n;
    case CommandId::SelectNone:
    case CommandId::SendSelected:
    case CommandId::RequestSelected:
    case CommandId::LoadToSelected:
    case CommandId::CopyToOtherBank:
    case CommandId::Rename:
    case CommandId::Copy:
      return k > 0;
    case CommandId::Paste:
      return k > 0 && !clipboardEmpty;
    case CommandId::Swap:
      return k == 2;
    case CommandId::Audition:
      return k == 1;
    case CommandId::Move:
      return k > 0 && k < n;
    case CommandId::Sort:
      return k >= 2;
    default:
      return true;  // Save Selected, Load, Mark duplicates and every command outside the menu
  }
}

std::string_view stepNameOf(CommandId id) {
  switch (id) {
    case CommandId::Paste:
      return "Paste";
    case CommandId::CopyToOtherBank:
      return "Copy to Other Bank";
    case CommandId::Swap:
      return "Swap";
    case CommandId::UpBank0:
    case CommandId::UpBank1:
      return "Move Up";
    case CommandId::DownBank0:
    case CommandId::DownBank1:
      return "Move Down";
    case CommandId::Move:
      return "Move";
    case CommandId::Sort:
      return "Sort";
    case CommandId::Rename:
      return "Rename";
    case CommandId::Load:
      return "Load";
    case CommandId::LoadToSelected:
      return "Load to Selected Slots";
    case CommandId::RequestSelected:
      return "Request";
    default:
      return "Change";
  }
}

}  // namespace banklore
