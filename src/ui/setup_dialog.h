// "Instrument Setup": MIDI input and output, the device ID and the send and request delays
// (0..1000 ms, page steps of exactly 100 ms) for the current instrument; "Play the selected
// patch"; and Detect, which asks every MIDI output who is there and fills in what answered.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <memory>

#include "app/prompts.h"

namespace banklore {

class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxDelay = 1000;
  static constexpr int kDelayPage = 100;

  // Shows `values`; the dialog's own copy follows the user until OK hands it back.
  explicit SetupDialog(const SetupValues& values, QWidget* parent = nullptr);
  ~SetupDialog() override;

  // The choice as OK takes it: names of the selected ports (empty for an empty list), the index of
  // the selected device ID (0 when the instrument lists none) and both delays.
  SetupValues chosen() const;

  QComboBox& inputs() { return *inputs_; }
  QComboBox& outputs() { return *outputs_; }
  QComboBox& deviceIds() { return *deviceIds_; }
  QSlider& sendSlider() { return *sendSlider_; }
  QSlider& requestSlider() { return *requestSlider_; }
  QLabel& sendLabel() { return *sendValue_; }
  QLabel& requestLabel() { return *requestValue_; }
  QCheckBox& playSelected() { return *playSelected_; }
  QPushButton& detect() { return *detect_; }
  // What Detect found or did not find.
  QLabel& detectText() { return *detectText_; }
  int sendDelay() const { return sendDelay_; }
  int requestDelay() const { return requestDelay_; }

 private:
  void setSendDelay(int ms, bool moveThumb);
  void setRequestDelay(int ms, bool moveThumb);
  void startDetect();
  void takeReport(const DetectReport& report);
  void takeChoice(const DetectChoice& choice);

  SetupValues values_;
  int sendDelay_ = 0;
  int requestDelay_ = 0;
  std::unique_ptr<QComboBox> inputs_;
  std::unique_ptr<QComboBox> outputs_;
  std::unique_ptr<QComboBox> deviceIds_;
  std::unique_ptr<QPushButton> cancel_;
  std::unique_ptr<QPushButton> ok_;
  std::array<std::unique_ptr<QLabel>, 5> captions_;
  std::unique_ptr<QSlider> sendSlider_;
  std::unique_ptr<QSlider> requestSlider_;
  std::unique_ptr<QLabel> sendValue_;
  std::unique_ptr<QLabel> requestValue_;
  std::unique_ptr<QCheckBox> playSelected_;
  std::unique_ptr<QPushButton> detect_;
  std::unique_ptr<QLabel> detectText_;
};

// The entry of `names` to preselect for a stored port name: the last exact match, else the first.
int preselectedPort(const std::vector<std::string>& names, const std::string& stored);

}  // namespace banklore
