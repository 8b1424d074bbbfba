#include "cli_report.h"

#include <utility>

namespace banklore {

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  char byte[4];
  for (const std::uint8_t b : bytes) {
    std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", b);
    text += byte;
  }
  return text;
}

StderrReport::StderrReport(std::FILE* stream, bool progressLine)
    : stream_(stream), progressLine_(progressLine) {}

void StderrReport::clear() {
  if (shown_.empty()) return;
  std::fputs("\r\033[K", stream_);  // back to the start of the line, and erase it
  shown_.clear();
}

void StderrReport::line(const std::string& text) {
  const std::string progress = shown_;
  clear();
  std::fprintf(stream_, "banklore-cli: %s\n", text.c_str());
  if (!progress.empty()) this->progress(progress);
  std::fflush(stream_);
}

void StderrReport::progress(const std::string& text) {
  if (!progressLine_ || text == shown_) return;
  clear();
  std::fputs(text.c_str(), stream_);
  shown_ = text;
  std::fflush(stream_);
}

void StderrReport::endProgress() {
  clear();
  std::fflush(stream_);
}

std::vector<std::string> CliTransferObserver::takeMessages() {
  return std::exchange(messages_, {});
}

void CliTransferObserver::showStatus(const std::string& text) {
  if (verbose_) report_.line(text);
}

void CliTransferObserver::finishStatus(const std::string& text) {
  if (verbose_) report_.line(text);
}

void CliTransferObserver::stepProgress() {
  if (onStep) onStep();
}

}  // namespace banklore
