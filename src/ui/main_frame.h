// The program's one window: the bank panel, the "File" and "Edit" menus and the window-wide
// accelerator keys.
// It is the librarian's BankView and hands every click, key, menu choice, drop and close request to
// the librarian's entry points; it decides nothing itself.
#pragma once

#include <QMainWindow>
#include <QShortcut>
#include <memory>
#include <optional>
#include <vector>

#include "app/bank_view.h"
#include "app/main_window.h"
#include "ui/window_panel.h"

namespace banklore {

class MainFrame : public QMainWindow, public BankView {
  Q_OBJECT

 public:
  explicit MainFrame(QWidget* parent = nullptr);
  ~MainFrame() override;

  // The librarian that answers this window; it must be detached (or outlived) before it goes.
  void attach(MainWindow& librarian);
  void detach();

  // A logout or `kill`: nobody is there to answer, so the librarian keeps what is unsaved and
  // closes without asking.
  void closeForTermination();

  WindowPanel& panel() { return *panel_; }
  QMenu& fileMenu() { return *fileMenu_; }
  // Undo and Redo as the librarian names them, and Find (Ctrl+F), which shows the active bank's
  // find box.
  QMenu& editMenu() { return *editMenu_; }
  void fillEditMenu();
  bool runEnded() const { return runEnded_; }

  // Asks the librarian for the context menu of a bank (none: not over a list) and shows it at the
  // position; the chosen item goes back as a command.
  void showContextMenu(std::optional<int> bank, QPoint globalPos);

  // BankView.
  void rebuildRows(int bank, int rowCount) override;
  void refreshRow(int bank, int row) override;
  void refreshRows(int bank, int first, int last) override;
  std::vector<int> selectedRows(int bank) const override;
  void setSelection(int bank, const std::vector<int>& rows, std::optional<int> focusRow) override;
  void focusList(int bank) override;
  void ensureRowVisible(int bank, int row) override;
  void setStatusText(int bank, const std::string& text) override;
  void setProgress(int bank, int maximum, int position) override;
  void beep() override;
  void setWindowTitle(const std::string& title) override;
  WindowRect windowRect() const override;
  void setWindowRect(const WindowRect& rect) override;
  void endRun() override;

 Q_SIGNALS:
  // The librarian has finished closing: the event loop may end.
  void runFinished();
  // A context menu is about to be shown (tests close it from here).
  void contextMenuShown(QMenu* menu);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  // Watches the key that stops a send, and keeps clicks, menus and drops off the lists while a
  // send runs.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void command(int id);
  void showFindBox();
  void placeFrame(const WindowRect& rect);
  void correctPlacement();

  MainWindow* librarian_ = nullptr;
  std::unique_ptr<WindowPanel> panel_;
  QMenu* fileMenu_ = nullptr;  // owned by the menu bar
  QMenu* editMenu_ = nullptr;  // owned by the menu bar
  std::vector<std::unique_ptr<QShortcut>> shortcuts_;
  bool runEnded_ = false;
  std::optional<WindowRect> placedBeforeShow_;
};

}  // namespace banklore
