// The main window's client area: both banks (caption, list, Up/Activate/Down, status line,
// progress bar) and the middle column of command buttons, placed by the resize layout. Each list
// has a find box above it, shown while it holds text or the focus; the list gives up its top to it.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <memory>

#include "app/command_ids.h"
#include "ui/bank_list.h"
#include "ui/bank_table_model.h"
#include "ui/find_box.h"
#include "ui/window_layout.h"

namespace banklore {

// A button and the command it raises.
struct CommandButtonText {
  CommandId id;
  const char* text;
};

// The middle column, top to bottom.
inline constexpr std::array<CommandButtonText, kMiddleButtonCount> kMiddleButtons{{
    {CommandId::RequestSelected, "Request Sel."},
    {CommandId::SendSelected, "Send Sel."},
    {CommandId::SaveSelected, "Save Sel..."},
    {CommandId::Load, "Load..."},
    {CommandId::LoadToSelected, "Load to Sel..."},
    {CommandId::CopyToOtherBank, "Copy"},
    {CommandId::Rename, "Rename..."},
    {CommandId::About, "&About..."},
    {CommandId::Setup, "S&etup..."},
    {CommandId::ChangeInstrument, "&Change Inst."},
}};

// Each bank's "<< Up", "Activate", "Down >>".
inline constexpr std::array<std::array<CommandButtonText, kBankButtonCount>, 2> kBankButtons{{
    {{{CommandId::UpBank0, "<< Up"},
      {CommandId::ActivateBank0, "Activate"},
      {CommandId::DownBank0, "Down >>"}}},
    {{{CommandId::UpBank1, "<< Up"},
      {CommandId::ActivateBank1, "Activate"},
      {CommandId::DownBank1, "Down >>"}}},
}};

class WindowPanel : public QWidget {
  Q_OBJECT

 public:
  explicit WindowPanel(QWidget* parent = nullptr);
  ~WindowPanel() override;

  BankTableModel& model(int bank) { return *models_[index(bank)]; }
  BankList& list(int bank) { return *lists_[index(bank)]; }
  QLabel& caption(int bank) { return *captions_[index(bank)]; }
  QLabel& status(int bank) { return *status_[index(bank)]; }
  QProgressBar& progress(int bank) { return *progress_[index(bank)]; }
  QPushButton& bankButton(int bank, int i) { return *bankButtons_[index(bank)][i]; }
  QPushButton& middleButton(int i) { return *middle_[i]; }
  FindBox& findBox(int bank) { return *findBoxes_[index(bank)]; }

  // Shows the bank's find box and puts the keyboard focus in it, its text selected.
  void showFindBox(int bank);

  // The designed layout in pixels, and the size the client area has at it.
  const WindowLayout& designed() const { return designed_; }
  QSize designedSize() const { return {designed_.client.width(), designed_.client.height()}; }

 Q_SIGNALS:
  void commandClicked(int id);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  static int index(int bank) { return bank == 1 ? 1 : 0; }
  void place(const WindowLayout& layout);
  void placeAgain();
  // Hides the bank's find box when it holds no text and has not the focus.
  void hideIdleFindBox(int bank);

  WindowLayout designed_;
  WindowLayout placed_;
  std::array<std::unique_ptr<BankTableModel>, 2> models_;
  std::array<std::unique_ptr<QLabel>, 2> captions_;
  std::array<std::unique_ptr<BankList>, 2> lists_;
  std::array<std::unique_ptr<FindBox>, 2> findBoxes_;  // go before the lists they filter
  std::array<std::array<std::unique_ptr<QPushButton>, kBankButtonCount>, 2> bankButtons_;
  std::array<std::unique_ptr<QLabel>, 2> status_;
  std::array<std::unique_ptr<QProgressBar>, 2> progress_;
  std::array<std::unique_ptr<QPushButton>, kMiddleButtonCount> middle_;
};

}  // namespace banklore
