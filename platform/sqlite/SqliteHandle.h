#pragma once

// What the parts of the SQLite engine share about one open file: the handle,
// what the path showed when it was last looked at, and a prepared statement.
// Private to platform/sqlite/.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <sqlite3.h>
#include <sys/types.h>

namespace sqlite_engine {

// What the path showed when this connection last looked: the file's identity
// and times, and the head of the shared-memory index that every connection
// of the file writes to as it works.
struct FileMark
{
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    QByteArray header; // the database header: its counters change with the content
    QByteArray index; // the first bytes of Fudousan.mdb-shm, when there is one
};

// A statement prepared once and kept for the connection's life, run again
// with new values: a save or a list does not parse its SQL again each time.
struct StatementCache
{
    // At most this many texts are kept; when it is full the idle ones go.
    static constexpr int kLimit = 32;
    QHash<QByteArray, sqlite3_stmt*> statements;
};

// The text of the last insert, for the next one into the same columns.
struct InsertText
{
    QString table;
    QStringList columns;
    QByteArray sql;
};

// Owns the sqlite3 handle; row sets keep it alive through a shared_ptr so a
// row set can never outlive the handle it reads from.
struct Handle
{
    sqlite3* db = nullptr;
    QString path;
    QByteArray encodedPath; // path as the file system takes it
    bool watching = false; // set once open: every operation checks the path first
    int watchDepth = 0; // PathWatch scopes open now; only the outermost checks
    FileMark opened; // the file this connection opened
    FileMark seen; // after this connection's last operation
    QString lost; // why this connection may no longer touch the path
    bool walReady = false; // the file is in WAL mode, or this connection cannot write
    bool markRaised = false; // user_version holds at least every table's highest rowid
    bool inTransaction = false; // a transaction of several statements runs; the path is checked around it
    qint64 pendingMark = 0; // the rowid mark as that transaction raises it, written at its commit
    QHash<QByteArray, qint64> nextRowids; // the next rowid of each table that transaction adds rows to
    // Statements run once per row of a long transaction (a row move),
    // prepared once and kept to the end: lastMove points into them, so they
    // are never given up as the bounded `cache` gives up its idle ones.
    QHash<QByteArray, sqlite3_stmt*> prepared;
    // The statements of the last row move (owned by `prepared`) and what
    // they move.
    struct Move
    {
        QString from;
        QString to;
        QStringList columns;
        QStringList stampNames;
        sqlite3_stmt* copy = nullptr;
        sqlite3_stmt* remove = nullptr;
    } lastMove;
    bool readOnly = false; // the file could only be read: its side files are removed after closing
    StatementCache cache;
    InsertText lastInsert;
    // The file and its shared-memory index, open for reading their heads as
    // long as the connection lives. Closed only after SQLite let go of the
    // file: closing any descriptor of a file drops every POSIX lock this
    // process holds on it, SQLite's own included.
    int fileFd = -1;
    int indexFd = -1;
    ~Handle(); // in SqliteConnection.cpp
};
using HandlePtr = std::shared_ptr<Handle>;

struct Statement
{
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

} // namespace sqlite_engine
