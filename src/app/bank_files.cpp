// Loading and saving bank files: .syx and .mid, into a bank or into its selected slots.
#include <string>
#include <vector>

#include "app/main_window.h"

namespace banklore {

void MainWindow::onFilesDropped(int bank, const std::vector<std::string>& paths) {
  AbortRequest();
  if (!validBank(bank)) return;
  (void)paths;
}

}  // namespace banklore
