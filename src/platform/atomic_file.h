// Writes a file so that a failure never destroys what was there: the bytes go to a temporary file
// beside the target, which replaces the target only when every byte is written and flushed to disk.
// Only a target this user may write is replaced. Where no temporary file can be made (a folder the
// user cannot write), a writable target is written in place instead, its old bytes kept in memory
// and put back when the write fails.
#pragma once

#include <cstdio>
#include <string>

namespace banklore {

class AtomicFile {
 public:
  explicit AtomicFile(std::string target);
  ~AtomicFile();  // discard() unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Prepares the stream (binary). False when the target exists but is no regular file or cannot
  // be opened for writing, when no temporary file can be made and the target cannot be written in
  // place (missing, unreadable, or larger than kInPlaceLimit), or when the folder is missing.
  bool open();
  // Stream on the temporary file (or on the target, in place) after open(); null otherwise.
  std::FILE* stream() const { return stream_; }
  // Flushes, syncs and closes the stream (if still open) and renames the temporary over the target.
  // False on any write, flush, sync or rename error; the target is then unchanged (in place: its
  // old bytes are written back) and the temporary removed, so a later commit() also fails.
  bool commit();
  // Drops what was written, as the destructor does: the temporary is removed, or in place the old
  // bytes are written back; a later commit() fails. Nothing happens after a commit().
  void discard();

  // True after an in-place write failed and its old bytes could not be written back either: the
  // target may then hold neither its old nor its new contents.
  bool oldContentLost() const { return oldContentLost_; }

  // Old contents kept for an in-place write at most; a larger target is not written in place.
  static constexpr std::size_t kInPlaceLimit = std::size_t{64} << 20;

 private:
  bool openInPlace(int fd);
  void putBack();  // in place: writes the old bytes back and closes the target

  std::string target_;
  std::string temp_;
  std::FILE* stream_ = nullptr;
  int targetFd_ = -1;       // the target itself, while it is written in place
  std::string oldContent_;  // its bytes before the write
  bool committed_ = false;
  bool oldContentLost_ = false;
};

}  // namespace banklore
