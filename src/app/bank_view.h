// What the librarian needs from the window that shows it: the two bank lists with their selection,
// status lines and progress bars, the title and the window's placement. The UI implements it; tests
// use a fake. Every call comes on the UI thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace banklore {

// A window rectangle in screen coordinates, as stored in the settings ("PosX", "PosY", "Width" and
// "Height" hold left, top, right and bottom).
struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const WindowRect&) const = default;
};

// Read side of the bank lists, for the UI's list model: row i of a bank is slot i. Cheap enough to
// be called per painted cell of a 4,096-slot bank.
class BankRows {
 public:
  virtual ~BankRows() = default;
  virtual int rowCount(int bank) const = 0;
  // Column "#": the slot label, such as "A000". Empty for a row outside the bank.
  virtual std::string label(int bank, int row) const = 0;
  // Column "Name": the patch name read from the patch bytes. Empty for a row outside the bank.
  virtual std::string name(int bank, int row) const = 0;
};

class BankView {
 public:
  virtual ~BankView() = default;

  // Drops every row of the bank's list and shows `rowCount` rows, reading labels and names from
  // BankRows. Selection and focus are cleared.
  virtual void rebuildRows(int bank, int rowCount) = 0;
  // Re-reads both columns of one row from BankRows.
  virtual void refreshRow(int bank, int row) = 0;
  // Re-reads both columns of rows first..last (in range, first <= last) at once: one notice for
  // the whole range, however many of its rows an edit changed.
  virtual void refreshRows(int bank, int first, int last) = 0;
  // Selected rows of the bank's list, ascending.
  virtual std::vector<int> selectedRows(int bank) const = 0;
  // Replaces the selection: exactly `rows` (ascending, in range) are selected afterwards, and
  // `focusRow` holds the list's current-row focus (none: no row has it).
  virtual void setSelection(int bank, const std::vector<int>& rows,
                            std::optional<int> focusRow) = 0;
  // Gives the keyboard focus to the bank's list.
  virtual void focusList(int bank) = 0;
  // Scrolls the list so that the row is wholly visible.
  virtual void ensureRowVisible(int bank, int row) = 0;

  // The status line under the bank's list.
  virtual void setStatusText(int bank, const std::string& text) = 0;
  // The bank's progress bar: range 0..maximum, at `position`.
  virtual void setProgress(int bank, int maximum, int position) = 0;

  // The simple beep that ends a transfer.
  virtual void beep() = 0;

  virtual void setWindowTitle(const std::string& title) = 0;
  virtual WindowRect windowRect() const = 0;
  // Moves and sizes the window (z-order kept).
  virtual void setWindowRect(const WindowRect& rect) = 0;
  // Ends the window's run once the closing steps are done; must not call back into closing.
  virtual void endRun() = 0;
};

}  // namespace banklore
