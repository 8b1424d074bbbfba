// Owning handles for SQLite's connection and statements, so every path out of a function closes
// what it opened.
#pragma once

#include <sqlite3.h>

#include <memory>

namespace banklore {

struct CloseConnection {
  // close_v2 waits for statements still open rather than failing with SQLITE_BUSY.
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

using Connection = std::unique_ptr<sqlite3, CloseConnection>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

}  // namespace banklore
