#include "platform/sqlite/SqliteStatements.h"

#include "platform/AppendingRowSet.h"
#include "platform/PlatformError.h"
#include "platform/WholeResultRowSet.h"
#include "platform/sqlite/SqliteErrors.h"
#include "platform/sqlite/SqliteFileWatch.h"

#include <QMap>
#include <QVector>

using namespace sqlite_engine;

namespace {

// A statement's whole result, read at once. Holding no statement open keeps
// every later write of the same connection in a transaction of its own: in
// SQLite a pending SELECT would delay the commit of the connection's writes.
class ResultRowSet : public WholeResultRowSet
{
public:
    // The cells' bytes one after another in `text`; cell i is
    // text[ends[i - 1], ends[i]), or NULL where nulls[i].
    ResultRowSet(QStringList names, QByteArray text, QVector<qsizetype> ends, QVector<bool> nulls)
        : WholeResultRowSet(names)
        , m_width(int(names.size()))
        , m_text(std::move(text))
        , m_ends(std::move(ends))
        , m_nulls(std::move(nulls))
    {
    }

protected:
    int rowCount() const override { return m_width == 0 ? 0 : int(m_ends.size() / m_width); }
    bool isNull(int row, int column) const override { return m_nulls.at(qsizetype(row) * m_width + column); }
    QByteArrayView cell(int row, int column) const override
    {
        const qsizetype at = qsizetype(row) * m_width + column;
        const qsizetype begin = at == 0 ? 0 : m_ends.at(at - 1);
        return QByteArrayView(m_text.constData() + begin, m_ends.at(at) - begin);
    }

private:
    int m_width;
    QByteArray m_text; // row-major, in one piece: a list of 100,000 lines is not 200,000 allocations
    QVector<qsizetype> m_ends;
    QVector<bool> m_nulls;
};

// `value` in decimal, as SQLite writes an integer as text.
void appendDecimal(QByteArray& text, sqlite3_int64 value)
{
    char digits[21];
    int at = 21;
    // Negated as unsigned, so that the smallest integer has its digits too.
    quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        digits[--at] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        digits[--at] = '-';
    text.append(digits + at, 21 - at);
}

// One write transaction over several statements: committed by commit(),
// rolled back when left otherwise.
class Transaction
{
public:
    explicit Transaction(const HandlePtr& handle)
        : m_handle(handle)
    {
        run("BEGIN IMMEDIATE");
    }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_handle->db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        run("COMMIT");
        m_done = true;
    }

private:
    void run(const char* sql)
    {
        CachedStatement statement(m_handle, QByteArray(sql));
        const int rc = sqlite3_step(statement.stmt);
        if (rc != SQLITE_DONE)
            fail(m_handle->db, rc, m_handle->path);
    }
    const HandlePtr& m_handle;
    bool m_done = false;
};

// The highest rowid of any table of the file.
qint64 highestRowid(const HandlePtr& handle)
{
    auto tables = runToEnd(handle,
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                       "AND name NOT LIKE 'sqlite%'"),
        {});
    qint64 highest = 0;
    for (; !tables.get()->atEnd(); tables->moveNext()) {
        const QString table = tables->field(QStringLiteral("name")).value_or(QString());
        Statement statement;
        const QByteArray sql = "SELECT max(rowid) FROM " + quoteIdentifier(table);
        if (sqlite3_prepare_v2(handle->db, sql.constData(), int(sql.size()), &statement.stmt, nullptr) != SQLITE_OK)
            continue; // a table without rowids
        if (sqlite3_step(statement.stmt) == SQLITE_ROW)
            highest = qMax<qint64>(highest, sqlite3_column_int64(statement.stmt, 0));
    }
    return highest;
}

// The file's rowid mark: one past it is the next rowid to give.
qint64 rowidMark(const HandlePtr& handle)
{
    auto mark = runToEnd(handle, QStringLiteral("PRAGMA user_version"), {});
    return mark->atEnd() ? 0 : mark->field(QStringLiteral("user_version")).value_or(QString()).toLongLong();
}

void raiseRowidMark(const HandlePtr& handle)
{
    const qint64 highest = highestRowid(handle);
    const qint64 current = rowidMark(handle);
    if (highest <= current || highest > 0x7fffffff)
        return;
    Transaction transaction(handle);
    runToEnd(handle, QStringLiteral("PRAGMA user_version = %1").arg(highest), {});
    transaction.commit();
}

// WAL with synchronous=FULL: each committed row is on disk when the commit
// returns, and readers never block the writer. The switch is made at the
// first write, not at open, so that a file that is refused or only read is
// left exactly as it was.
void makeWalReady(const HandlePtr& handle)
{
    if (handle->walReady)
        return;
    handle->walReady = true;
    try {
        runToEnd(handle, QStringLiteral("PRAGMA journal_mode=WAL"), {});
    } catch (...) {
        handle->walReady = false;
        throw;
    }
}

QByteArray insertStatement(const QString& tableName, const QStringList& columns)
{
    const QByteArray table = quoteIdentifier(tableName);
    QByteArray sql = "INSERT INTO " + table + " (rowid";
    for (const QString& column : columns) {
        sql += ", ";
        appendQuoted(sql, column);
    }
    sql += ") VALUES ((SELECT max(coalesce(max(rowid), 0), (SELECT user_version FROM pragma_user_version)) + 1 FROM "
        + table + ")";
    for (qsizetype i = 0; i < columns.size(); ++i)
        sql += ", ?";
    return sql + ")";
}

// An updatable cursor over one table of the file.
class TableRowSet : public AppendingRowSet
{
public:
    TableRowSet(HandlePtr handle, QString table, QStringList columnNames)
        : AppendingRowSet(std::move(table), std::move(columnNames))
        , m_handle(std::move(handle))
    {
    }

private:
    std::unique_ptr<RowSet> readRows() override
    {
        return runToEnd(m_handle, QStringLiteral("SELECT * FROM ") + QString::fromUtf8(quoteIdentifier(table())), {});
    }

    void insertRow(const QMap<QString, QString>& row) override
    {
        // The new row's rowid is one past the highest ever given in this
        // file, which the file's user_version remembers: SQLite alone would
        // give a deleted last row's rowid again, and a list filled before
        // that deletion would then take the new row for the deleted one.
        const QStringList columns = row.keys();
        InsertText& text = m_handle->lastInsert;
        if (text.sql.isEmpty() || text.table != table() || text.columns != columns) {
            text.table = table();
            text.columns = columns;
            text.sql = insertStatement(table(), columns);
        }
        const QStringList values = row.values();
        const QByteArray sql = text.sql;
        PathWatch watch(*m_handle);
        prepareWrites(m_handle);
        Transaction transaction(m_handle);
        runToEnd(m_handle, sql, values);
        const sqlite3_int64 rowid = sqlite3_last_insert_rowid(m_handle->db);
        if (rowid > 0 && rowid <= 0x7fffffff) {
            // Not kept among the prepared statements: its text changes with every row.
            const QByteArray mark = "PRAGMA user_version = " + QByteArray::number(rowid);
            const int rc = sqlite3_exec(m_handle->db, mark.constData(), nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                fail(m_handle->db, rc, m_handle->path);
        }
        transaction.commit();
    }

    HandlePtr m_handle;
};

} // namespace

namespace sqlite_engine {

void appendQuoted(QByteArray& sql, const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    sql += '"';
    if (bytes.contains('"'))
        sql += QByteArray(bytes).replace('"', "\"\"");
    else
        sql += bytes;
    sql += '"';
}

QByteArray quoteIdentifier(const QString& name)
{
    QByteArray quoted;
    appendQuoted(quoted, name);
    return quoted;
}

void prepare(const HandlePtr& handle, const QByteArray& sql, Statement& statement)
{
    const int rc = sqlite3_prepare_v2(handle->db, sql.constData(), int(sql.size()), &statement.stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(handle->db, rc, handle->path);
}

// Before the first write of a connection: WAL mode, and the rowid mark
// brought up to the rows that others (another program, an earlier version)
// added, so that no row added later takes the rowid of one deleted now.
void prepareWrites(const HandlePtr& handle)
{
    makeWalReady(handle);
    if (handle->markRaised || !sqlite3_get_autocommit(handle->db))
        return;
    handle->markRaised = true;
    try {
        raiseRowidMark(handle);
    } catch (...) {
        handle->markRaised = false;
        throw;
    }
}

CachedStatement::CachedStatement(const HandlePtr& handle, const QByteArray& sql)
{
    QHash<QByteArray, sqlite3_stmt*>& cache = handle->cache.statements;
    const auto found = cache.constFind(sql);
    if (found != cache.constEnd()) {
        if (!sqlite3_stmt_busy(found.value())) {
            stmt = found.value();
            return;
        }
        prepare(handle, sql, m_own);
        stmt = m_own.stmt;
        return;
    }
    if (cache.size() >= StatementCache::kLimit) {
        for (auto it = cache.begin(); it != cache.end();) {
            if (sqlite3_stmt_busy(it.value())) {
                ++it;
            } else {
                sqlite3_finalize(it.value());
                it = cache.erase(it);
            }
        }
    }
    const int rc = sqlite3_prepare_v3(
        handle->db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &m_own.stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(handle->db, rc, handle->path);
    stmt = m_own.stmt;
    if (stmt) { // an empty text prepares to nothing
        cache.insert(sql, stmt);
        m_own.stmt = nullptr;
    }
}

CachedStatement::~CachedStatement()
{
    if (stmt && stmt != m_own.stmt) {
        // Ends the statement's read or write at once, as finishing it would.
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
}

std::unique_ptr<RowSet> runToEnd(const HandlePtr& handle, const QString& sql, const QStringList& parameters)
{
    return runToEnd(handle, sql.toUtf8(), parameters);
}

std::unique_ptr<RowSet> runToEnd(const HandlePtr& handle, const QByteArray& sql, const QStringList& parameters)
{
    PathWatch watch(*handle);
    CachedStatement statement(handle, sql);
    if (!sqlite3_stmt_readonly(statement.stmt))
        prepareWrites(handle);
    if (sqlite3_bind_parameter_count(statement.stmt) != parameters.size())
        throw PlatformError(QStringLiteral("SQL文の引数の数が合いません。"));
    for (int i = 0; i < parameters.size(); ++i) {
        const QByteArray value = parameters.at(i).toUtf8();
        const int rc = sqlite3_bind_text(statement.stmt, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            fail(handle->db, rc, handle->path);
    }

    // The columns are named after the first step: a statement kept from
    // before a change of the table is prepared again by it.
    int rc = sqlite3_step(statement.stmt);
    const int width = sqlite3_column_count(statement.stmt);
    QStringList names;
    for (int c = 0; c < width; ++c)
        names << QString::fromUtf8(sqlite3_column_name(statement.stmt, c));

    QByteArray text;
    QVector<qsizetype> ends;
    QVector<bool> nulls;
    for (;; rc = sqlite3_step(statement.stmt)) {
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            fail(handle->db, rc, handle->path);
        for (int c = 0; c < width; ++c) {
            if (sqlite3_column_type(statement.stmt, c) == SQLITE_INTEGER) {
                // The text SQLite would make of it, without its conversion
                // of the value in place: row keys are integers.
                appendDecimal(text, sqlite3_column_int64(statement.stmt, c));
                nulls.append(false);
            } else {
                const auto* cell = reinterpret_cast<const char*>(sqlite3_column_text(statement.stmt, c));
                nulls.append(cell == nullptr);
                if (cell)
                    text.append(cell, sqlite3_column_bytes(statement.stmt, c));
            }
            ends.append(text.size());
        }
    }
    return std::make_unique<ResultRowSet>(std::move(names), std::move(text), std::move(ends), std::move(nulls));
}

sqlite3_stmt* preparedOnce(const HandlePtr& handle, const QByteArray& sql)
{
    sqlite3_stmt*& statement = handle->prepared[sql];
    if (!statement) {
        const int rc = sqlite3_prepare_v3(
            handle->db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK) {
            handle->prepared.remove(sql);
            fail(handle->db, rc, handle->path);
        }
    }
    return statement;
}

void stepOnce(const HandlePtr& handle, sqlite3_stmt* statement)
{
    int rc = sqlite3_step(statement);
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (rc != SQLITE_DONE)
        fail(handle->db, rc, handle->path);
}

void runTransaction(const HandlePtr& handle, const std::function<void()>& work)
{
    if (handle->inTransaction)
        throw PlatformError(QStringLiteral("トランザクションの中で、別のトランザクションは始められません。"));
    {
        PathWatch watch(*handle);
        makeWalReady(handle);
    }
    Transaction transaction(handle);
    struct Running
    {
        Handle& handle;
        explicit Running(Handle& h)
            : handle(h)
        {
            handle.inTransaction = true;
            handle.nextRowids.clear();
        }
        ~Running() { handle.inTransaction = false; }
    };
    {
        Running running(*handle);
        // The mark as the transaction finds it, brought up to the rows that
        // others added at the connection's first write (see prepareWrites),
        // within this same transaction.
        const qint64 found = rowidMark(handle);
        handle->pendingMark = handle->markRaised ? found : qMax(found, highestRowid(handle));
        work();
        // One write of the mark for every row the transaction added: each
        // new rowid was one past the highest given, so it only rises.
        if (handle->pendingMark > found && handle->pendingMark <= 0x7fffffff)
            runToEnd(handle, QStringLiteral("PRAGMA user_version = %1").arg(handle->pendingMark), {});
    }
    PathWatch watch(*handle);
    transaction.commit();
    handle->markRaised = true;
}

std::optional<QString> moveRow(const HandlePtr& handle, const QString& from, const QString& key, const QString& to,
    const QStringList& columns, const QMap<QString, QString>& stamps)
{
    if (!handle->inTransaction) {
        std::optional<QString> moved;
        runTransaction(handle, [&] { moved = moveRow(handle, from, key, to, columns, stamps); });
        return moved;
    }
    bool isNumber = false;
    const qint64 rowid = key.toLongLong(&isNumber);
    if (!isNumber)
        return std::nullopt; // no row has it

    // The new rowid is one past the highest ever given in this file (the
    // mark, which covers the rows added earlier in this transaction, and
    // the rows of `to`), as for a saved row. The transaction holds the
    // write lock: the highest rowid of `to` is looked up once.
    const QByteArray target = quoteIdentifier(to);
    qint64& next = handle->nextRowids[target];
    if (next == 0) {
        sqlite3_stmt* highest = preparedOnce(handle, "SELECT coalesce(max(rowid), 0) FROM " + target);
        const int rc = sqlite3_step(highest);
        next = rc == SQLITE_ROW ? sqlite3_column_int64(highest, 0) + 1 : 0;
        sqlite3_reset(highest);
        if (rc != SQLITE_ROW)
            fail(handle->db, rc, handle->path);
    }
    next = qMax(next, handle->pendingMark + 1);

    // The statements of the move before are used again when it was the
    // same move, as it is for every line of one 削除.
    Handle::Move& last = handle->lastMove;
    if (!last.copy || last.from != from || last.to != to || last.columns != columns
        || last.stampNames != stamps.keys()) {
        QByteArrayList names { "rowid" };
        QByteArrayList values { "?" };
        for (auto it = stamps.cbegin(); it != stamps.cend(); ++it) {
            names << quoteIdentifier(it.key());
            values << "?";
        }
        for (const QString& column : columns) {
            names << quoteIdentifier(column);
            values << quoteIdentifier(column);
        }
        sqlite3_stmt* copying = preparedOnce(handle,
            "INSERT INTO " + target + " (" + names.join(", ") + ") SELECT " + values.join(", ") + " FROM "
                + quoteIdentifier(from) + " WHERE rowid = ?");
        sqlite3_stmt* removing = preparedOnce(handle, "DELETE FROM " + quoteIdentifier(from) + " WHERE rowid = ?");
        last.copy = copying;
        last.remove = removing;
        last.from = from;
        last.to = to;
        last.columns = columns;
        last.stampNames = stamps.keys();
    }
    sqlite3_stmt* copy = last.copy;
    int at = 1;
    sqlite3_bind_int64(copy, at++, next);
    for (auto it = stamps.cbegin(); it != stamps.cend(); ++it) {
        const QByteArray text = it.value().toUtf8();
        sqlite3_bind_text(copy, at++, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    sqlite3_bind_int64(copy, at, rowid);
    stepOnce(handle, copy);
    if (sqlite3_changes(handle->db) == 0)
        return std::nullopt;
    const qint64 given = next++;
    handle->pendingMark = qMax(handle->pendingMark, given);

    sqlite3_stmt* remove = last.remove;
    sqlite3_bind_int64(remove, 1, rowid);
    stepOnce(handle, remove);
    return QString::number(given);
}

std::unique_ptr<RowSet> openTableRows(const HandlePtr& handle, const QString& table, const QStringList& columnNames)
{
    return std::make_unique<TableRowSet>(handle, table, columnNames);
}

} // namespace sqlite_engine
