// Copies an archive's write-ahead log back into the archive on a thread of its own. SQLite would
// do it inside the commit that fills the log, which for a whole bank takes as long again as the
// recording; here no record() call waits for it, and a passive checkpoint blocks no writer.
#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "archive/sqlite_handle.h"

namespace banklore {

class Checkpointer {
 public:
  // Takes the checkpoints over from `writer`, the connection that records into `path`; null (and
  // SQLite keeps checkpointing after commits) when no second connection could be opened.
  static std::unique_ptr<Checkpointer> start(sqlite3* writer, const std::string& path,
                                             int busyTimeoutMs);
  Checkpointer(sqlite3* writer, Connection own);
  ~Checkpointer();
  Checkpointer(const Checkpointer&) = delete;
  Checkpointer& operator=(const Checkpointer&) = delete;

 private:
  static int committed(void* self, sqlite3* db, const char* name, int pages);
  void run();

  sqlite3* writer_;
  Connection own_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool due_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace banklore
