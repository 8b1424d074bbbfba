// What a transfer (sending or requesting patches) shows of itself: one bank's status line and
// progress bar, its rows, the beep and message boxes. The window implements it for the bank being
// sent or filled; a command-line tool can implement it on a terminal. Every call comes on the
// thread that drives the transfer (the UI thread in the window).
#pragma once

#include <string>

namespace banklore {

class TransferObserver {
 public:
  virtual ~TransferObserver() = default;

  // The status line, text only: the progress bar stays where it is.
  virtual void showStatus(const std::string& text) = 0;
  // The status line that ends a transfer, with the progress bar full.
  virtual void finishStatus(const std::string& text) = 0;
  // An empty progress bar of `count` steps under `text`.
  virtual void beginProgress(const std::string& text, int count) = 0;
  virtual void stepProgress() = 0;
  // The patch in `slot` changed (or was renamed): its row is redrawn and, with `reveal`, scrolled
  // into view.
  virtual void slotChanged(int slot, bool reveal) = 0;
  // A patch that arrived was stored into `slot`: the bank now holds something not saved yet.
  virtual void patchStored(int /*slot*/) {}
  // The patch of `slot` went out to the instrument.
  virtual void patchSent(int /*slot*/) {}
  virtual void beep() = 0;
  // A modal message box with an OK button; returns when the user has read it.
  virtual void message(const std::string& text) = 0;
  // Asked before each patch a send is about to send: whether the user wants it to stop.
  virtual bool stopWanted() { return false; }
};

}  // namespace banklore
