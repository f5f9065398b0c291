#pragma once

// The engine's own files beside a database in WAL mode: the log
// (Fudousan.mdb-wal) and the shared-memory index (Fudousan.mdb-shm). SQLite
// gives them the database file's permission bits when it makes them, and a
// connection that may only read the file never removes them: left by a run on
// a read-only file, they would keep the file read-only after it is made
// writable again. Private to platform/sqlite/.

#include <QString>

namespace sqlite_engine {

// Removes the -wal and -shm beside `path` when no connection of any process
// uses them (no lock on the index) and the log holds nothing. Called when a
// connection that could only read the file has closed.
void removeIdleSideFiles(const QString& path);

// Before a connection opens `path` for writing: removes side files this
// process could not write (left by a run that could only read the file),
// under the conditions above.
void removeSideFilesThatCannotBeWritten(const QString& path);

// Why writing fails because of a side file, naming it and what to do; empty
// when the side files are not in the way.
QString describeSideFiles(const QString& path);

} // namespace sqlite_engine
