// What banklore-cli's transfers tell on stderr: whole lines, and on a terminal a progress line
// redrawn in place (a log file or a cron mail gets the lines alone). The transfer engines' own
// texts arrive through a TransferObserver: their message boxes become lines, their status texts
// ("Got patch 5") lines only when asked for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/transfer_observer.h"

namespace banklore {

// "F0 7D 10": bytes as the tool prints them.
std::string hex(std::span<const std::uint8_t> bytes);

class StderrReport {
 public:
  // `progressLine`: whether the stream is a terminal that may have a line redrawn.
  StderrReport(std::FILE* stream, bool progressLine);
  ~StderrReport() { endProgress(); }
  StderrReport(const StderrReport&) = delete;
  StderrReport& operator=(const StderrReport&) = delete;

  // "banklore-cli: <text>" on a line of its own, above the progress line.
  void line(const std::string& text);
  // Replaces the progress line; nothing when there is none.
  void progress(const std::string& text);
  void endProgress();

 private:
  void clear();
  std::FILE* stream_;
  bool progressLine_;
  std::string shown_;
};

class CliTransferObserver : public TransferObserver {
 public:
  CliTransferObserver(StderrReport& report, bool verbose) : report_(report), verbose_(verbose) {}

  // Runs after each step of the engine's progress (a patch arrived as asked, or went out).
  std::function<void()> onStep;
  // The engine's message boxes since the last take, oldest first.
  std::vector<std::string> takeMessages();

  void showStatus(const std::string& text) override;
  void finishStatus(const std::string& text) override;
  void beginProgress(const std::string&, int) override {}
  void stepProgress() override;
  void slotChanged(int, bool) override {}
  void beep() override {}
  void message(const std::string& text) override { messages_.push_back(text); }
  bool stopWanted() override { return stopWhen && stopWhen(); }

  // Asked before each patch a send is about to send.
  std::function<bool()> stopWhen;

 private:
  StderrReport& report_;
  bool verbose_;
  std::vector<std::string> messages_;
};

}  // namespace banklore
