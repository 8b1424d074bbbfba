// "Choose Instrument...": lists the sections of the definition file, preselects the instrument of
// the settings file (the running one when the settings name none) and on OK writes the choice to
// "General"/"Instrument" there.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <memory>
#include <string>

namespace banklore {

class InstrumentChooserDialog : public QDialog {
  Q_OBJECT

 public:
  // `runningInstrument` is preselected when the settings name no instrument: that is the one the
  // program runs then, and a reflexive Enter must not switch away from it.
  InstrumentChooserDialog(std::string definitionPath, std::string settingsPath,
                          const std::string& runningInstrument, QWidget* parent = nullptr);
  ~InstrumentChooserDialog() override;

  QListWidget& list() { return *list_; }
  QPushButton& okButton() { return *ok_; }

  // Writes the selected name; with nothing to choose OK is refused, so the settings never get a
  // name that is not in the file.
  void accept() override;

 private:
  std::string settingsPath_;
  std::unique_ptr<QListWidget> list_;
  std::unique_ptr<QPushButton> ok_;
  std::unique_ptr<QPushButton> cancel_;
};

}  // namespace banklore
