#pragma once

// Running statements on an open file: binding, reading whole results,
// preparing the first write of a connection (WAL mode, the rowid mark), and
// the updatable cursor over one table.

#include "platform/DatabaseEngine.h"
#include "platform/sqlite/SqliteHandle.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace sqlite_engine {

// `name` as an SQL identifier in double quotes.
QByteArray quoteIdentifier(const QString& name);
void appendQuoted(QByteArray& sql, const QString& name);

// Prepares `sql` into `statement`; throws PlatformError on failure.
void prepare(const HandlePtr& handle, const QByteArray& sql, Statement& statement);

// `sql` prepared, from the connection's cache when it was prepared before
// (StatementCache), for one run: reset, its values let go, when this goes.
// A text whose cached statement is running gets a statement of its own.
// Throws PlatformError when `sql` cannot be prepared.
class CachedStatement
{
public:
    CachedStatement(const HandlePtr& handle, const QByteArray& sql);
    ~CachedStatement();
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;

    sqlite3_stmt* stmt = nullptr;

private:
    Statement m_own; // when the cached one was running
};

// The statement `sql`, prepared at its first use on this handle and kept
// until the handle closes; for statements run once per row of a long
// transaction. Throws PlatformError when it cannot be prepared.
sqlite3_stmt* preparedOnce(const HandlePtr& handle, const QByteArray& sql);

// Steps a statement of preparedOnce to its end, then resets it and clears
// its bindings; throws PlatformError on failure.
void stepOnce(const HandlePtr& handle, sqlite3_stmt* statement);

// Runs `sql` with "?" bound to `parameters` and returns its whole result.
// The path is checked first; a statement that writes makes the connection
// ready for writing before it runs.
std::unique_ptr<RowSet> runToEnd(const HandlePtr& handle, const QByteArray& sql, const QStringList& parameters);
std::unique_ptr<RowSet> runToEnd(const HandlePtr& handle, const QString& sql, const QStringList& parameters);

// Before the first write of a connection: WAL mode, and the rowid mark
// brought up to the rows that others (another program, an earlier version)
// added, so that no row added later takes the rowid of one deleted now.
void prepareWrites(const HandlePtr& handle);

// Runs `work` in one transaction (BEGIN IMMEDIATE ... COMMIT), the path
// checked before it begins and again before it commits; rolled back when
// anything throws. The rowid mark (raised to the rows others added, at a
// connection's first write) is written once, just before the commit.
void runTransaction(const HandlePtr& handle, const std::function<void()>& work);

// Connection::moveRow on the file: an INSERT ... SELECT that gives the new
// row the next rowid of the file's mark, then the DELETE, in the running
// transaction or in one of their own.
std::optional<QString> moveRow(const HandlePtr& handle, const QString& from, const QString& key, const QString& to,
    const QStringList& columns, const QMap<QString, QString>& stamps);

// An updatable cursor over `table`, whose columns are `columnNames`.
std::unique_ptr<RowSet> openTableRows(const HandlePtr& handle, const QString& table, const QStringList& columnNames);

} // namespace sqlite_engine
