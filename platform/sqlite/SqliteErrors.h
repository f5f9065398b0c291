#pragma once

// How the SQLite engine words a failure for the agent: what the file system
// allows, what the engine's code means, and what a file that is not a usable
// database is.

#include <QString>

struct sqlite3;

namespace sqlite_engine {

// Whether this process may write `path`.
bool canWrite(const QString& path);

// Why a file-level operation failed, told from what the file system allows
// this process, or empty when it allows everything.
QString describeAccess(const QString& path);

// True when the disk that holds `path` has (almost) no room left.
bool diskFull(const QString& path);

// The Japanese text for an engine result code on the file at `path`.
QString describeCode(int code, const QString& path);

// Throws PlatformError with the text for `code` (and the engine's own words
// in brackets).
[[noreturn]] void fail(sqlite3* db, int code, const QString& path);

// What kind of file `path` is when it is not a usable SQLite database (empty,
// Access, something else, cut short), or empty when it looks like one.
QString describeForeignFile(const QString& path);

} // namespace sqlite_engine
