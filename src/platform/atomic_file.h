// Writes a file so that a failure never destroys what was there: the bytes go to a temporary file
// beside the target, which replaces the target only when every byte is written and flushed to disk.
#pragma once

#include <cstdio>
#include <string>

namespace banklore {

class AtomicFile {
 public:
  explicit AtomicFile(std::string target);
  ~AtomicFile();  // discards the temporary file unless commit() succeeded
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file (binary). False when it cannot be created (no folder, no
  // permission).
  bool open();
  // Stream on the temporary file after open(); null otherwise.
  std::FILE* stream() const { return stream_; }
  // Flushes, syncs and closes the stream (if still open) and renames the temporary over the target.
  // False on any write, flush, sync or rename error; the target is then unchanged and the temporary
  // removed, so a later commit() also fails.
  bool commit();

 private:
  void discard();  // closes the stream and removes the temporary

  std::string target_;
  std::string temp_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

}  // namespace banklore
