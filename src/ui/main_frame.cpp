#include "ui/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "ui/command_menus.h"
#include "ui/display_text.h"

namespace banklore {

namespace {

constexpr const char* kFindKeys = "Ctrl+F";

// How long after showing the window a window manager may take to put its frame around it.
constexpr int kFrameWaitMs = 2000;

// A saved placement is used only when some of it lies on a screen that exists now; a window saved
// on a monitor since unplugged would otherwise open where nobody can reach it.
bool onSomeScreen(const QRect& frame) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(frame)) return true;
  }
  return false;
}

}  // namespace

MainFrame::MainFrame(QWidget* parent)
    : QMainWindow(parent), panel_(std::make_unique<WindowPanel>()) {
  QMainWindow::setWindowTitle(QStringLiteral("Banklore"));
  setCentralWidget(panel_.get());
  fileMenu_ = menuBar()->addMenu(QStringLiteral("File"));
  fillFileMenu(*fileMenu_);
  connect(fileMenu_, &QMenu::triggered, this, [this](QAction* action) {
    if (auto id = commandOf(action)) command(*id);
  });
  editMenu_ = menuBar()->addMenu(QStringLiteral("Edit"));
  fillEditMenu();
  // Filled afresh each time it opens: what Undo and Redo would act on changes with every edit.
  connect(editMenu_, &QMenu::aboutToShow, this, &MainFrame::fillEditMenu);
  connect(editMenu_, &QMenu::triggered, this, [this](QAction* action) {
    if (auto id = commandOf(action)) command(*id);
  });
  connect(panel_.get(), &WindowPanel::commandClicked, this, &MainFrame::command);

  for (int b = 0; b < 2; ++b) {
    BankList& list = panel_->list(b);
    connect(&list, &BankList::leftClicked, this, [this](int bank) {
      if (librarian_) librarian_->onListClicked(bank);
    });
    connect(&list, &BankList::rowDoubleClicked, this, [this](int bank, int row) {
      if (librarian_) librarian_->onListDoubleClicked(bank, row);
    });
    connect(&list, &BankList::cursorMoved, this, [this](int bank, int row) {
      if (librarian_) librarian_->onCursorMoved(bank, row);
    });
    connect(&list, &BankList::contextMenuWanted, this,
            [this](int bank, bool overList, QPoint globalPos) {
              showContextMenu(overList ? std::optional<int>(bank) : std::nullopt, globalPos);
            });
    connect(&list, &BankList::filesDropped, this, [this](int bank, const QStringList& paths) {
      if (!librarian_) return;
      std::vector<std::string> files;
      for (const QString& path : paths) files.push_back(pathBytes(path));
      librarian_->onFilesDropped(bank, files);
    });
  }

  for (const auto& table : {accelerators(), editAccelerators(), addedAccelerators()}) {
    for (const Accelerator& accelerator : table) {
      auto shortcut = std::make_unique<QShortcut>(acceleratorKeys(accelerator), this);
      shortcut->setContext(Qt::WindowShortcut);
      shortcut->setAutoRepeat(false);
      const int id = static_cast<int>(accelerator.id);
      connect(shortcut.get(), &QShortcut::activated, this, [this, id] { command(id); });
      shortcuts_.push_back(std::move(shortcut));
    }
  }
  // Find is the window's own: it filters what a list shows and changes nothing in the banks.
  auto find = std::make_unique<QShortcut>(QKeySequence(QString::fromLatin1(kFindKeys)), this);
  find->setContext(Qt::WindowShortcut);
  connect(find.get(), &QShortcut::activated, this, &MainFrame::showFindBox);
  shortcuts_.push_back(std::move(find));
  // Escape closes the window through the librarian's closing, like the close box.
  auto escape = std::make_unique<QShortcut>(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape.get(), &QShortcut::activated, this, [this] { close(); });
  shortcuts_.push_back(std::move(escape));

  // The stop key is read wherever the focus is in this window, before any widget acts on it.
  qApp->installEventFilter(this);

  resize(panel_->designedSize().width(),
         panel_->designedSize().height() + menuBar()->sizeHint().height());
}

MainFrame::~MainFrame() {
  qApp->removeEventFilter(this);
  detach();
  // The panel goes before the window's own children are torn down.
  shortcuts_.clear();
  panel_.reset();
}

void MainFrame::attach(MainWindow& librarian) {
  librarian_ = &librarian;
  panel_->model(0).setSource(&librarian);
  panel_->model(1).setSource(&librarian);
}

void MainFrame::detach() {
  librarian_ = nullptr;
  if (panel_) {
    panel_->model(0).setSource(nullptr);
    panel_->model(1).setSource(nullptr);
  }
}

void MainFrame::command(int id) {
  if (librarian_) librarian_->onCommand(id);
}

void MainFrame::showFindBox() {
  panel_->showFindBox(librarian_ ? librarian_->activeBank() : 0);
}

void MainFrame::fillEditMenu() {
  editMenu_->clear();
  const std::vector<EditMenuEntry> entries =
      librarian_ ? librarian_->editMenu()
                 : std::vector<EditMenuEntry>{{CommandId::Undo, "Undo\tCtrl+Z", false},
                                              {CommandId::Redo, "Redo\tCtrl+Shift+Z", false}};
  for (const EditMenuEntry& entry : entries) {
    QAction* action = editMenu_->addAction(displayText(entry.text));
    action->setData(static_cast<int>(entry.id));
    action->setEnabled(entry.enabled);
  }
  editMenu_->addSeparator();
  // No command behind it: its action carries no identifier.
  QAction* find = editMenu_->addAction(QStringLiteral("Find...\t") + QLatin1String(kFindKeys));
  connect(find, &QAction::triggered, this, &MainFrame::showFindBox);
}

void MainFrame::showContextMenu(std::optional<int> bank, QPoint globalPos) {
  if (!librarian_) return;
  const std::optional<std::vector<ContextMenuEntry>> entries = librarian_->onContextMenu(bank);
  if (!entries) return;
  std::optional<int> chosen;
  {
    QMenu menu(this);
    fillContextMenu(menu, *entries);
    connect(&menu, &QMenu::aboutToShow, this, [this, &menu] { Q_EMIT contextMenuShown(&menu); });
    chosen = commandOf(menu.exec(globalPos));
  }
  // The menu is gone before the command runs, as a command that opens a dialog expects.
  if (chosen) command(*chosen);
}

void MainFrame::contextMenuEvent(QContextMenuEvent* event) {
  // Anywhere but over a list: the librarian is asked all the same and shows nothing.
  showContextMenu(std::nullopt, event->globalPos());
  event->accept();
}

void MainFrame::closeEvent(QCloseEvent* event) {
  // The close box and Escape go through the librarian's closing steps; once they have run (the
  // Quit command ends here too) the window just goes.
  if (!runEnded_ && librarian_) librarian_->close();
  // The user chose to keep unsaved changes: the window stays.
  if (librarian_ && !librarian_->closed()) {
    event->ignore();
    return;
  }
  event->accept();
}

void MainFrame::closeForTermination() {
  if (!runEnded_ && librarian_) {
    librarian_->closeUnattended();
  } else {
    close();
  }
}

void MainFrame::rebuildRows(int bank, int rowCount) {
  panel_->model(bank).rebuild(rowCount);
}

void MainFrame::refreshRow(int bank, int row) {
  panel_->model(bank).refreshRow(row);
}

void MainFrame::refreshRows(int bank, int first, int last) {
  panel_->model(bank).refreshRows(first, last);
}

std::vector<int> MainFrame::selectedRows(int bank) const {
  return panel_->list(bank).selectedRowNumbers();
}

void MainFrame::setSelection(int bank, const std::vector<int>& rows, std::optional<int> focusRow) {
  panel_->list(bank).selectRows(rows, focusRow);
}

void MainFrame::focusList(int bank) {
  panel_->list(bank).setFocus(Qt::OtherFocusReason);
}

void MainFrame::ensureRowVisible(int bank, int row) {
  BankList& list = panel_->list(bank);
  const QModelIndex index = list.model()->index(row, 0);
  if (index.isValid()) list.scrollTo(index, QAbstractItemView::EnsureVisible);
}

void MainFrame::setStatusText(int bank, const std::string& text) {
  panel_->status(bank).setText(displayText(text));
}

void MainFrame::setProgress(int bank, int maximum, int position) {
  QProgressBar& bar = panel_->progress(bank);
  // A range of 0..0 would turn the bar into a busy indicator; an empty range shows an empty bar.
  if (maximum <= 0) {
    bar.setRange(0, 1);
    bar.setValue(0);
    return;
  }
  bar.setRange(0, maximum);
  bar.setValue(std::clamp(position, 0, maximum));
}

void MainFrame::beep() {
  QApplication::beep();
}

void MainFrame::setWindowTitle(const std::string& title) {
  QMainWindow::setWindowTitle(displayText(title));
}

WindowRect MainFrame::windowRect() const {
  const QRect frame = frameGeometry();
  return {frame.x(), frame.y(), frame.x() + frame.width(), frame.y() + frame.height()};
}

void MainFrame::setWindowRect(const WindowRect& rect) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  if (!onSomeScreen(QRect(rect.left, rect.top, rect.width(), rect.height()))) return;
  placeFrame(rect);
  // Before the window is shown its frame is unknown; the frame's size is put right once it is.
  if (!isVisible()) placedBeforeShow_ = rect;
}

void MainFrame::placeFrame(const WindowRect& rect) {
  const QRect frame = frameGeometry();
  const QRect inner = geometry();
  const int extraWidth = frame.width() - inner.width();
  const int extraHeight = frame.height() - inner.height();
  move(rect.left, rect.top);
  resize(std::max(1, rect.width() - extraWidth), std::max(1, rect.height() - extraHeight));
}

void MainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!placedBeforeShow_) return;
  correctPlacement();
  // Without a window manager the frame never changes: stop waiting for it.
  QTimer::singleShot(kFrameWaitMs, this, [this] { placedBeforeShow_.reset(); });
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (!librarian_) return false;
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space || !isActiveWindow()) return false;
    // A held key repeats; only the real press and release count.
    if (!key->isAutoRepeat()) librarian_->onStopKey(type == QEvent::KeyPress);
    return librarian_->sending();  // while sending, Space does nothing else
  }
  if (!librarian_->sending()) return false;
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::Drop:
      break;
    default:
      return false;
  }
  // Only the lists are held still: the send walks their selection as it was when it began.
  for (int b = 0; b < 2; ++b) {
    const BankList& list = panel_->list(b);
    if (watched == &list || watched == list.viewport()) return true;
  }
  return false;
}

bool MainFrame::event(QEvent* event) {
  if (event->type() == QEvent::WindowDeactivate && librarian_) {
    librarian_->onStopKey(false);  // its release would go to another window
  }
  const bool handled = QMainWindow::event(event);
  if (placedBeforeShow_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
    correctPlacement();
  }
  return handled;
}

void MainFrame::correctPlacement() {
  // The window manager adds its frame some time after the window appears; once it has, the saved
  // outer rectangle is applied again so the window does not grow by its frame on every run.
  if (!placedBeforeShow_ || frameGeometry() == geometry()) return;
  const WindowRect wanted = *placedBeforeShow_;
  placedBeforeShow_.reset();
  if (windowRect() != wanted) placeFrame(wanted);
}

void MainFrame::endRun() {
  runEnded_ = true;
  hide();
  Q_EMIT runFinished();
}

}  // namespace banklore
