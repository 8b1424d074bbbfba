// Send Selected and Request Selected: the window's side of the two transfer engines, which show
// themselves in the bank they work on.
#include <algorithm>

#include "app/main_window.h"
#include "app/transfer_view.h"

namespace banklore {

void MainWindow::registerTransferCommands() {
  sendView_ = std::make_unique<TransferView>(*this);
  requestView_ = std::make_unique<TransferView>(*this);
  send_ = std::make_unique<SendRun>(clock_, *sendView_);
  requestRun_ = std::make_unique<RequestRun>(clock_, *requestView_);
  setCommandHandler(CommandId::SendSelected, [this](int k) {
    if (k > 0) sendSelected();
  });
  setCommandHandler(CommandId::RequestSelected, [this](int k) {
    if (k > 0) requestSelected();
  });
}

void MainWindow::sendSelected() {
  stopKeyPressed_ = false;
  sendView_->bank = activeBank_;
  send_->start(*definition_, banks_[activeBank_].slots, selectedSlots(activeBank_),
               deviceId_ & 0xFF, static_cast<std::uint32_t>(std::max(sendDelay_, 0)));
}

void MainWindow::requestSelected() {
  requestView_->bank = activeBank_;
  openRequestStep(activeBank_);
  // The low byte of the device ID is the device index the patches are given.
  requestRun_->start(*definition_, banks_[activeBank_].slots, selectedSlots(activeBank_),
                     deviceId_ & 0xFF, static_cast<std::uint32_t>(std::max(requestDelay_, 0)));
  settleRequestStep();  // a request that did not start has changed nothing
}

int MainWindow::requestBank() const {
  return requestView_->bank;
}

void MainWindow::onStopKey(bool down) {
  stopKeyDown_ = down;
  if (down && sending()) stopKeyPressed_ = true;
}

}  // namespace banklore
