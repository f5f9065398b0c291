#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The database engine: connections to one database file and row sets over
// the results of statements. The property store reaches the database only
// through these three interfaces.
//
// Every failing operation throws PlatformError with a Japanese description
// that names what went wrong (file missing, not a database, locked, ...).
// All objects are used from the user-interface thread only.

// A RowSet is the current result of a statement, read forward, or an
// updatable cursor over a table that accepts new rows.
class RowSet
{
public:
    virtual ~RowSet() = default;

    // True when no current row is left; for a fresh result, true when the
    // result is empty.
    virtual bool atEnd() = 0;

    // The names of the row set's columns, in the order the engine gives them.
    virtual QStringList columnNames() const = 0;

    // The value of column `name` (matched regardless of letter case) of the
    // current row, or std::nullopt when it is NULL.
    // Throws when there is no current row or no such column.
    virtual std::optional<QString> field(const QString& name) = 0;

    // Advances to the next row. Throws when already at the end.
    virtual void moveNext() = 0;

    // Starts a new row; every column is NULL until written.
    // Throws on a row set that does not accept new rows.
    virtual void addNew() = 0;

    // Writes one column of the new row. REQUIRES: addNew() was called.
    virtual void setField(const QString& name, const QString& value) = 0;

    // Stores the new row. Once it returns, the row is durable: it survives a
    // crash or kill of the process. On failure nothing is stored.
    virtual void update() = 0;
};

// A Connection is one open database file.
class Connection
{
public:
    virtual ~Connection() = default;

    // Opens the existing database file at `path` for reading and writing.
    // Never creates a file and writes nothing to it. Throws when the file is
    // missing, is not a database this engine can open, or is cut short or
    // damaged. A read-only file opens; writing to it then throws.
    virtual void open(const QString& path) = 0;

    virtual bool isOpen() const = 0;

    // Runs one statement. Each "?" in `statement` is bound, in order, to one
    // of `parameters`, so that values are never pasted into SQL text.
    // A SELECT, or a statement with a RETURNING clause, yields its rows; any
    // other statement yields an empty row set after it has taken effect. Each
    // statement is its own transaction.
    virtual std::unique_ptr<RowSet> execute(const QString& statement, const QStringList& parameters = {}) = 0;

    // Opens an updatable cursor over the whole of `table`, for appending.
    virtual std::unique_ptr<RowSet> openTable(const QString& table) = 0;

    // Runs `work` as one transaction: every statement that `work` runs on
    // this connection takes effect together, with one sync, once `work` has
    // returned; when `work` or the commit throws, none of them does and the
    // exception goes on. The database is locked for writing from the start,
    // so rows read inside stay as read until the end. Not nested.
    virtual void transaction(const std::function<void()>& work) = 0;

    // Moves the row of table `from` whose row key is `key` into table `to`,
    // as a new row of `to`: its values in `columns` (names both tables have)
    // are copied as the engine holds them, NULL staying NULL and a text
    // byte for byte, and `stamps` (column of `to` -> text) are written
    // beside them. The new row gets a row key above every key ever given in
    // this database, as a row appended through openTable does. The row is
    // then gone from `from`; both happen or neither, in the transaction that
    // runs or else in one of their own. Returns the new row's key, or nothing
    // when `from` has no row with `key` (nothing changes then).
    virtual std::optional<QString> moveRow(const QString& from, const QString& key, const QString& to,
        const QStringList& columns, const QMap<QString, QString>& stamps = {})
        = 0;

    // Whether the database has a table named `table` (letter case ignored).
    virtual bool hasTable(const QString& table) = 0;

    // Creates `table`, with a row identity (rowKeyColumn) and one text column
    // for each of `columns`, unless it exists. Throws, saying who can make
    // it, where the program may not create tables (a server's desktop role).
    virtual void createTable(const QString& table, const QStringList& columns) = 0;

    // Makes the database file by itself hold every committed change, so
    // that copying that one file copies the whole database: an engine that
    // keeps committed changes in a log beside the file folds the log into it
    // and empties it. Returns false when that must wait for another user of
    // the file; nothing is lost then, the changes stay committed in the log.
    // Throws when the file can no longer be written.
    virtual bool checkpoint() = 0;

    // Writes a complete, consistent copy of the database as a new file at
    // `path` and checks it (for SQLite: VACUUM INTO, then integrity_check,
    // then a sync). The database itself is only read. Throws when the copy
    // cannot be written or does not check out; no file is left at `path`
    // then. REQUIRES: nothing exists at `path`.
    virtual void copyTo(const QString& path) = 0;

    // False for a database on a server, whose backups are the server's
    // (pg_dump): the desktop then writes no daily copies.
    virtual bool keepsDailyCopies() const { return true; }

    // The row identity: an SQL expression that, in a statement over one
    // table, names each row for as long as it exists (SQLite's rowid, or an
    // identity column). Its value read as text and bound back as a parameter
    // compares equal to it ("WHERE <expr> = ?"), finds the row without a
    // scan, and orders rows by when they were added ("ORDER BY <expr>").
    virtual QString rowKeyColumn() const = 0;
};

// A DatabaseEngine makes connections.
class DatabaseEngine
{
public:
    virtual ~DatabaseEngine() = default;

    // A new connection that is not open yet.
    virtual std::unique_ptr<Connection> createConnection() = 0;

    // How messages name the database that a connection opened on `path`
    // reaches: the file itself, or the server and database of an engine that
    // ignores the path.
    virtual QString describeDatabase(const QString& path) const { return path; }

    // Whether a connection keeps the database in the file it is opened on;
    // false for an engine that reaches a server and ignores the path.
    virtual bool usesFile() const { return true; }
};
