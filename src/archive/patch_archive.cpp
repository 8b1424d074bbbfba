#include "archive/patch_archive.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "archive/sqlite_handle.h"

namespace banklore {

namespace {

// Written into the file's header, so a database of another program is told from an archive.
constexpr int kApplicationId = 0x426B4C72;  // "BkLr"
constexpr int kSchemaVersion = 1;
// Long enough for another window's commit, short enough that no transfer waits noticeably.
constexpr int kBusyTimeoutMs = 250;

// A patch is found by a hash of its sound and told apart by the sound itself: an index of the
// sounds' own bytes would cost a whole bank's worth of writes again on every record. Its message
// is mostly its sound, so only what surrounds the sound is kept beside it (message_tail NULL:
// the sound is not inside the message, which message_head then holds whole).
constexpr const char* kSchema = R"sql(
CREATE TABLE patch (
  id INTEGER PRIMARY KEY,
  section TEXT NOT NULL,
  sound_hash INTEGER NOT NULL,
  sound BLOB NOT NULL,
  name TEXT NOT NULL,
  message_head BLOB NOT NULL,
  message_tail BLOB,
  first_seen INTEGER NOT NULL,
  last_seen INTEGER NOT NULL,
  times_seen INTEGER NOT NULL,
  last_event INTEGER NOT NULL
);
CREATE TABLE event (
  id INTEGER PRIMARY KEY,
  patch INTEGER NOT NULL REFERENCES patch (id),
  time INTEGER NOT NULL,
  action INTEGER NOT NULL,
  place TEXT NOT NULL,
  name TEXT NOT NULL
);
CREATE INDEX patch_sound ON patch (section, sound_hash);
CREATE INDEX patch_newest ON patch (section, last_seen DESC, last_event DESC);
CREATE INDEX event_history ON event (patch, time);
)sql";

// Event ids are handed out by record() itself while it holds the write lock, so a patch row can
// name its last event before the event is written.
constexpr const char* kInsertPatch = R"sql(
INSERT INTO patch (section, sound_hash, sound, name, message_head, message_tail, first_seen,
                   last_seen, times_seen, last_event)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?7, 1, ?8))sql";
constexpr const char* kUpdatePatch = R"sql(
UPDATE patch SET name = ?4, message_head = ?5, message_tail = ?6,
  first_seen = min(first_seen, ?7), last_seen = ?7, times_seen = times_seen + 1, last_event = ?8
WHERE id = ?9)sql";

// FNV-1a: stored in every archive, so it may never change without a migration.
std::int64_t soundHash(std::span<const std::uint8_t> sound) {
  std::uint64_t hash = 14695981039346656037u;
  for (const std::uint8_t byte : sound) hash = (hash ^ byte) * 1099511628211u;
  return static_cast<std::int64_t>(hash);
}

constexpr const char* kEntryColumns = R"sql(
SELECT p.id, p.section, p.name, p.first_seen, p.last_seen, p.times_seen, e.action, e.place
FROM patch p JOIN event e ON e.id = p.last_event )sql";
constexpr const char* kEntryOrder = " ORDER BY p.last_seen DESC, p.last_event DESC";

std::string columnText(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void bindBlob(sqlite3_stmt* statement, int index, std::span<const std::uint8_t> bytes) {
  // A zero-length blob, not NULL, which the NOT NULL columns would refuse.
  sqlite3_bind_blob(statement, index, bytes.empty() ? "" : static_cast<const void*>(bytes.data()),
                    static_cast<int>(bytes.size()), SQLITE_STATIC);
}

ArchiveAction actionOf(std::int64_t stored) {
  return stored >= 0 && stored <= 3 ? static_cast<ArchiveAction>(stored) : ArchiveAction::Fetched;
}

std::string localTime(std::int64_t unixSeconds, const char* format) {
  const std::time_t time = static_cast<std::time_t>(unixSeconds);
  std::tm parts{};
  char text[32] = "";
  if (!::localtime_r(&time, &parts) || std::strftime(text, sizeof text, format, &parts) == 0)
    return std::to_string(unixSeconds);
  return text;
}

// What a failed step means to the user, with SQLite's own words after it.
std::string reasonFor(int code, sqlite3* db) {
  const std::string detail =
      std::string(" (") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code)) + ")";
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "it is busy: another program is writing to it" + detail;
    case SQLITE_FULL:
      return "the disk is full" + detail;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      return "it may not be written" + detail;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return "it is damaged" + detail;
    case SQLITE_IOERR:
      return "the disk is full or failing" + detail;
    default:
      return "it failed" + detail;
  }
}

bool isDamage(int code) {
  return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB;
}

// Resets a statement when its use ends, however it ends, so the next use starts clean and no
// read transaction stays open behind it.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementUse() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3_stmt* statement_;
};

}  // namespace

std::string eventText(ArchiveAction action, const std::string& where) {
  switch (action) {
    case ArchiveAction::Fetched:
      return "fetched from " + where;
    case ArchiveAction::Loaded:
      return "loaded from " + where;
    case ArchiveAction::Saved:
      return "saved to " + where;
    case ArchiveAction::Sent:
      return "sent to " + where;
  }
  return where;
}

std::string isoLocalTime(std::int64_t unixSeconds) {
  return localTime(unixSeconds, "%Y-%m-%dT%H:%M:%S");
}

std::string shortLocalTime(std::int64_t unixSeconds) {
  return localTime(unixSeconds, "%Y-%m-%d %H:%M");
}

namespace {

// The open archive: what PatchArchive::Database holds, named here so opening can build it.
struct Store {
  std::string path;
  // Declared first, so destroyed last: statements are finalised before the connection closes.
  Connection connection;
  Statement begin, commit, rollback, nextEvent, findPatch, insertPatch, updatePatch, insertEvent;
  Statement entriesOfSection, entriesOfAll, history, lastMessage;

  sqlite3* db() const { return connection.get(); }

  // Prepares every statement; fails (with the code) when the tables are not ours.
  int prepare() {
    const std::string entryColumns = kEntryColumns;
    const struct {
      Statement* statement;
      std::string sql;
    } all[] = {
        {&begin, "BEGIN IMMEDIATE"},
        {&commit, "COMMIT"},
        {&rollback, "ROLLBACK"},
        {&nextEvent, "SELECT coalesce(max(id), 0) + 1 FROM event"},
        {&findPatch, "SELECT id, sound FROM patch WHERE section = ? AND sound_hash = ?"},
        {&insertPatch, kInsertPatch},
        {&updatePatch, kUpdatePatch},
        {&insertEvent,
         "INSERT INTO event (id, patch, time, action, place, name) VALUES (?, ?, ?, ?, ?, ?)"},
        {&entriesOfSection, entryColumns +
                                "WHERE p.section = ?1 AND instr(lower(p.name), lower(?2)) > 0" +
                                kEntryOrder},
        {&entriesOfAll, entryColumns + "WHERE instr(lower(p.name), lower(?2)) > 0" + kEntryOrder},
        {&history, "SELECT time, action, place, name FROM event WHERE patch = ? ORDER BY time, id"},
        {&lastMessage, "SELECT message_head, sound, message_tail FROM patch WHERE id = ?"},
    };
    for (const auto& [statement, sql] : all) {
      sqlite3_stmt* prepared = nullptr;
      const int code =
          sqlite3_prepare_v3(db(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
      statement->reset(prepared);
      if (code != SQLITE_OK) return code;
    }
    return SQLITE_OK;
  }

  // Runs a statement without results to its end.
  int run(sqlite3_stmt* statement) const {
    StatementUse use(statement);
    const int code = sqlite3_step(statement);
    return code == SQLITE_DONE || code == SQLITE_ROW ? SQLITE_OK : code;
  }

  // The patch of `section` whose sound is `sound`, or 0.
  int find(const std::string& section, std::span<const std::uint8_t> sound, std::int64_t hash,
           std::int64_t& id) const {
    StatementUse use(findPatch.get());
    bindText(use.get(), 1, section);
    sqlite3_bind_int64(use.get(), 2, hash);
    int code;
    while ((code = sqlite3_step(use.get())) == SQLITE_ROW) {
      const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(use.get(), 1));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(use.get(), 1));
      if (size == sound.size() && (size == 0 || std::equal(sound.begin(), sound.end(), bytes))) {
        id = sqlite3_column_int64(use.get(), 0);
        return SQLITE_OK;
      }
    }
    return code == SQLITE_DONE ? SQLITE_OK : code;
  }

  int recordAll(const std::string& section, std::span<const SeenPatch> patches,
                ArchiveAction action, const std::string& file, std::int64_t time) const {
    std::int64_t eventId = 0;
    {
      StatementUse use(nextEvent.get());
      const int code = sqlite3_step(use.get());
      if (code != SQLITE_ROW) return code;
      eventId = sqlite3_column_int64(use.get(), 0);
    }
    const bool fromFile = action == ArchiveAction::Loaded || action == ArchiveAction::Saved;
    for (const SeenPatch& patch : patches) {
      const std::int64_t hash = soundHash(patch.sound);
      std::int64_t patchId = 0;
      int code = find(section, patch.sound, hash, patchId);
      if (code != SQLITE_OK) return code;
      {
        StatementUse use(patchId ? updatePatch.get() : insertPatch.get());
        bindText(use.get(), 1, section);
        sqlite3_bind_int64(use.get(), 2, hash);
        bindBlob(use.get(), 3, patch.sound);
        bindText(use.get(), 4, patch.name);
        const std::span<const std::uint8_t> message(patch.message);
        const auto at =
            std::search(message.begin(), message.end(), patch.sound.begin(), patch.sound.end());
        if (at == message.end() || patch.sound.empty()) {
          bindBlob(use.get(), 5, message);
        } else {
          bindBlob(use.get(), 5, std::span(message.begin(), at));
          bindBlob(use.get(), 6,
                   std::span(at + static_cast<std::ptrdiff_t>(patch.sound.size()), message.end()));
        }
        sqlite3_bind_int64(use.get(), 7, time);
        sqlite3_bind_int64(use.get(), 8, eventId);
        if (patchId) sqlite3_bind_int64(use.get(), 9, patchId);
        if ((code = sqlite3_step(use.get())) != SQLITE_DONE) return code;
        if (!patchId) patchId = sqlite3_last_insert_rowid(db());
      }
      StatementUse use(insertEvent.get());
      sqlite3_bind_int64(use.get(), 1, eventId++);
      sqlite3_bind_int64(use.get(), 2, patchId);
      sqlite3_bind_int64(use.get(), 3, time);
      sqlite3_bind_int64(use.get(), 4, static_cast<int>(action));
      bindText(use.get(), 5, fromFile ? file : patch.slot);
      bindText(use.get(), 6, patch.name);
      if (const int code = sqlite3_step(use.get()); code != SQLITE_DONE) return code;
    }
    return SQLITE_OK;
  }
};

}  // namespace

struct PatchArchive::Database : Store {
  explicit Database(Store&& store) : Store(std::move(store)) {}
};

namespace {

// One attempt at opening: either a database ready for use, or why not and whether the file is
// damaged (or not an archive) and so should be moved aside.
struct Attempt {
  std::unique_ptr<Store> database;
  std::string problem;
  bool damaged = false;
};

}  // namespace

PatchArchive::PatchArchive(std::unique_ptr<Database> database) : db_(std::move(database)) {}
PatchArchive::~PatchArchive() = default;

namespace {

// Reads one integer (a pragma, a count); the code says whether the file could be read at all.
int readInteger(sqlite3* db, const char* sql, std::int64_t& value) {
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  const Statement statement(raw);
  if (code != SQLITE_OK) return code;
  code = sqlite3_step(raw);
  if (code != SQLITE_ROW) return code;
  value = sqlite3_column_int64(raw, 0);
  return SQLITE_OK;
}

Attempt fail(int code, sqlite3* db, const std::string& path) {
  return {nullptr, "cannot open the archive " + path + ": " + reasonFor(code, db), isDamage(code)};
}

Attempt notAnArchive(const std::string& path, const std::string& why) {
  return {nullptr, "the file " + path + " " + why, true};
}

// Creates the tables in an empty file, unless another process did while this one waited.
int createSchema(sqlite3* db) {
  int code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  std::int64_t applicationId = 0;
  if (code == SQLITE_OK) code = readInteger(db, "PRAGMA application_id", applicationId);
  if (code == SQLITE_OK && applicationId == 0) {
    const std::string marks = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    code = sqlite3_exec(db, (kSchema + marks).c_str(), nullptr, nullptr, nullptr);
  }
  if (code == SQLITE_OK) code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK && !sqlite3_get_autocommit(db))
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return code;
}

Attempt attempt(const std::string& path) {
  auto database = std::make_unique<Store>();
  database->path = path;
  sqlite3* raw = nullptr;
  int code =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  database->connection.reset(raw);
  if (code != SQLITE_OK) return fail(code, raw, path);
  // SQLite opens a file it may not write for reading only; an archive that cannot take new
  // sightings is refused, and the file stays as it is.
  if (sqlite3_db_readonly(raw, "main") == 1)
    return {nullptr, "cannot open the archive " + path + ": it may not be written", false};
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  // A damaged archive is kept as found: no checkpoint into it when this connection closes.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  // Reading the header and the table list is where a file that is no database, or a truncated
  // one, shows.
  std::int64_t applicationId = 0, version = 0, tables = 0;
  code = readInteger(raw, "PRAGMA application_id", applicationId);
  if (code == SQLITE_OK) code = readInteger(raw, "PRAGMA user_version", version);
  if (code == SQLITE_OK) code = readInteger(raw, "SELECT count(*) FROM sqlite_schema", tables);
  if (code != SQLITE_OK) return fail(code, raw, path);
  const bool empty = applicationId == 0 && version == 0 && tables == 0;
  if (!empty && applicationId != kApplicationId)
    return notAnArchive(path, "is a database of another program");
  // A later Banklore's archive stays untouched for it; there is no older version to migrate yet.
  if (!empty && version > kSchemaVersion)
    return {nullptr, "the archive " + path + " was made by a newer Banklore", false};
  if (!empty && version < kSchemaVersion) return notAnArchive(path, "has no archive version");
  // A page cache that holds a whole bank's changes, so none are written to the log twice; and
  // the log copied back into the file only every 32 MB or so (and when the last connection
  // closes), so that recording a bank seldom waits for that copy.
  code = sqlite3_exec(raw,
                      "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
                      "PRAGMA cache_size = -16384; PRAGMA wal_autocheckpoint = 8000",
                      nullptr, nullptr, nullptr);
  if (code == SQLITE_OK && empty) code = createSchema(raw);
  if (code != SQLITE_OK) return fail(code, raw, path);
  code = database->prepare();
  // Marked as an archive but without its tables: damaged.
  if (code == SQLITE_ERROR) return notAnArchive(path, "lacks the archive's tables");
  if (code != SQLITE_OK) return fail(code, raw, path);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
  return {std::move(database), "", false};
}

// Renames `from` to `to` unless `to` exists; true when `from` is gone or was never there.
bool moveIfThere(const std::string& from, const std::string& to) {
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0) return errno == ENOENT;
  if (::lstat(to.c_str(), &info) == 0) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

// Moves a damaged archive and its WAL files next to it under a dated name; the new name, or
// empty when it could not be moved (then nothing may be started in its place).
std::string moveAside(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  char stamp[32] = "unknown";
  if (::localtime_r(&now, &parts)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
  std::string aside = path + ".damaged-" + stamp;
  for (int n = 2; ::access(aside.c_str(), F_OK) == 0 && n < 100; ++n)
    aside = path + ".damaged-" + stamp + "-" + std::to_string(n);
  if (!moveIfThere(path, aside)) return "";
  // A WAL left behind would be replayed into the new archive, so it goes along, with the index.
  if (!moveIfThere(path + "-wal", aside + "-wal") || !moveIfThere(path + "-shm", aside + "-shm"))
    return "";
  return aside;
}

}  // namespace

PatchArchive::Opened PatchArchive::open(const std::string& path) {
  Attempt first = attempt(path);
  if (first.database)
    return {std::unique_ptr<PatchArchive>(
                new PatchArchive(std::make_unique<Database>(std::move(*first.database)))),
            "", ""};
  if (!first.damaged || path == ":memory:" || path.empty()) return {nullptr, first.problem, ""};
  first.database.reset();
  const std::string aside = moveAside(path);
  if (aside.empty())
    return {nullptr, first.problem + "; it could not be moved aside: " + std::strerror(errno), ""};
  Attempt fresh = attempt(path);
  if (!fresh.database) return {nullptr, fresh.problem, aside};
  return {std::unique_ptr<PatchArchive>(
              new PatchArchive(std::make_unique<Database>(std::move(*fresh.database)))),
          "", aside};
}

std::optional<std::string> PatchArchive::record(const std::string& section,
                                                std::span<const SeenPatch> patches,
                                                ArchiveAction action, const std::string& file,
                                                std::int64_t time) {
  if (patches.empty()) return std::nullopt;
  Database& d = *db_;
  int code = d.run(d.begin.get());
  if (code == SQLITE_OK) code = d.recordAll(section, patches, action, file, time);
  if (code == SQLITE_OK) code = d.run(d.commit.get());
  if (code == SQLITE_OK) return std::nullopt;
  std::string reason = "cannot write the archive " + d.path + ": " + reasonFor(code, d.db());
  // All or nothing: whatever of this call was written goes (SQLite may have rolled back already).
  if (!sqlite3_get_autocommit(d.db())) d.run(d.rollback.get());
  return reason;
}

std::vector<ArchiveEntry> PatchArchive::entries(const std::string& section,
                                                const std::string& nameContains) const {
  std::vector<ArchiveEntry> found;
  StatementUse use(section.empty() ? db_->entriesOfAll.get() : db_->entriesOfSection.get());
  if (!section.empty()) bindText(use.get(), 1, section);
  bindText(use.get(), 2, nameContains);
  while (sqlite3_step(use.get()) == SQLITE_ROW) {
    ArchiveEntry& entry = found.emplace_back();
    entry.id = sqlite3_column_int64(use.get(), 0);
    entry.section = columnText(use.get(), 1);
    entry.name = columnText(use.get(), 2);
    entry.firstSeen = sqlite3_column_int64(use.get(), 3);
    entry.lastSeen = sqlite3_column_int64(use.get(), 4);
    entry.timesSeen = sqlite3_column_int64(use.get(), 5);
    entry.lastEvent =
        eventText(actionOf(sqlite3_column_int64(use.get(), 6)), columnText(use.get(), 7));
  }
  return found;
}

std::vector<ArchiveEvent> PatchArchive::history(std::int64_t id) const {
  std::vector<ArchiveEvent> events;
  StatementUse use(db_->history.get());
  sqlite3_bind_int64(use.get(), 1, id);
  while (sqlite3_step(use.get()) == SQLITE_ROW) {
    events.push_back(
        {sqlite3_column_int64(use.get(), 0),
         eventText(actionOf(sqlite3_column_int64(use.get(), 1)), columnText(use.get(), 2)),
         columnText(use.get(), 3)});
  }
  return events;
}

std::vector<std::uint8_t> PatchArchive::lastMessage(std::int64_t id) const {
  StatementUse use(db_->lastMessage.get());
  sqlite3_bind_int64(use.get(), 1, id);
  if (sqlite3_step(use.get()) != SQLITE_ROW) return {};
  const bool whole = sqlite3_column_type(use.get(), 2) == SQLITE_NULL;
  std::vector<std::uint8_t> message;
  for (const int column : {0, 1, 2}) {
    if (whole && column > 0) break;
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(use.get(), column));
    if (bytes)
      message.insert(message.end(), bytes, bytes + sqlite3_column_bytes(use.get(), column));
  }
  return message;
}

}  // namespace banklore
