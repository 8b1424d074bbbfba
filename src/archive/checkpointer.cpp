#include "archive/checkpointer.h"

namespace banklore {

namespace {
// SQLite's own threshold: a log of about 4 MB, one bank fetched.
constexpr int kCheckpointPages = 1000;
}  // namespace

std::unique_ptr<Checkpointer> Checkpointer::start(sqlite3* writer, const std::string& path,
                                                  int busyTimeoutMs) {
  sqlite3* raw = nullptr;
  const int code = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  Connection own(raw);
  if (code != SQLITE_OK) return nullptr;
  sqlite3_busy_timeout(raw, busyTimeoutMs);
  return std::make_unique<Checkpointer>(writer, std::move(own));
}

Checkpointer::Checkpointer(sqlite3* writer, Connection own)
    : writer_(writer), own_(std::move(own)), thread_([this] { run(); }) {
  // Replaces SQLite's automatic checkpoint, which is a WAL hook too.
  sqlite3_wal_hook(writer_, &Checkpointer::committed, this);
}

Checkpointer::~Checkpointer() {
  sqlite3_wal_hook(writer_, nullptr, nullptr);
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

int Checkpointer::committed(void* self, sqlite3*, const char*, int pages) {
  if (pages >= kCheckpointPages) {
    auto* checkpointer = static_cast<Checkpointer*>(self);
    {
      const std::lock_guard lock(checkpointer->mutex_);
      checkpointer->due_ = true;
    }
    checkpointer->wake_.notify_one();
  }
  return SQLITE_OK;
}

void Checkpointer::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return due_ || stop_; });
    if (stop_) return;
    due_ = false;
    lock.unlock();
    // Whatever a reader or writer still needs stays in the log for the next time.
    sqlite3_wal_checkpoint_v2(own_.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    lock.lock();
  }
}

}  // namespace banklore
