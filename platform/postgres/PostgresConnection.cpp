#include "platform/postgres/PostgresDatabaseEngine.h"

#include "platform/AppendingRowSet.h"
#include "platform/PlatformError.h"
#include "platform/WholeResultRowSet.h"
#include "platform/postgres/PostgresDialect.h"
#include "platform/postgres/PostgresSession.h"

#include <QMap>

using namespace postgres_engine;

namespace {

QStringList resultColumnNames(const PGresult* result)
{
    QStringList names;
    for (int c = 0; result && c < PQnfields(result); ++c)
        names << QString::fromUtf8(PQfname(result, c));
    return names;
}

// A statement's whole result, kept as libpq delivered it; values are decoded
// only when read.
class ResultRowSet : public WholeResultRowSet
{
public:
    explicit ResultRowSet(Result result)
        : WholeResultRowSet(resultColumnNames(result.get()))
        , m_result(std::move(result))
        , m_rows(m_result ? PQntuples(m_result.get()) : 0)
    {
    }

protected:
    int rowCount() const override { return m_rows; }
    bool isNull(int row, int column) const override { return PQgetisnull(m_result.get(), row, column); }
    QByteArrayView cell(int row, int column) const override
    {
        return QByteArrayView(PQgetvalue(m_result.get(), row, column), PQgetlength(m_result.get(), row, column));
    }

private:
    Result m_result;
    int m_rows;
};

class TableRowSet : public AppendingRowSet
{
public:
    TableRowSet(SessionPtr session, QString table, QStringList columnNames)
        : AppendingRowSet(std::move(table), std::move(columnNames))
        , m_session(std::move(session))
    {
    }

private:
    std::unique_ptr<RowSet> readRows() override
    {
        return std::make_unique<ResultRowSet>(
            m_session->run(QStringLiteral("SELECT * FROM ") + QString::fromUtf8(quoteIdentifier(table())), {}));
    }

    void insertRow(const QMap<QString, QString>& row) override
    {
        QString sql = QStringLiteral("INSERT INTO ") + QString::fromUtf8(quoteIdentifier(table()));
        QStringList values;
        if (row.isEmpty()) {
            sql += QStringLiteral(" DEFAULT VALUES");
        } else {
            QStringList names;
            QStringList marks;
            for (auto it = row.cbegin(); it != row.cend(); ++it) {
                names << QString::fromUtf8(quoteIdentifier(it.key()));
                marks << QStringLiteral("?");
                values << it.value();
            }
            sql += QStringLiteral(" (%1) VALUES (%2)")
                       .arg(names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        }
        m_session->run(sql, values);
    }

    SessionPtr m_session;
};

class PostgresConnection : public Connection
{
public:
    PostgresConnection(QString connectionString, QString label)
        : m_connectionString(std::move(connectionString))
        , m_label(std::move(label))
    {
    }

    // The path names the desktop's file; this engine reaches its server.
    void open(const QString&) override
    {
        m_session.reset();
        auto session = std::make_shared<Session>(m_connectionString, m_label);
        session->connect();
        m_session = std::move(session);
    }

    bool isOpen() const override { return m_session != nullptr; }

    std::unique_ptr<RowSet> execute(const QString& statement, const QStringList& parameters) override
    {
        return std::make_unique<ResultRowSet>(session()->run(statement, parameters));
    }

    std::unique_ptr<RowSet> openTable(const QString& table) override
    {
        const SessionPtr& s = session();
        // Resolved like any bare name in a statement, then quoted as found.
        ResultRowSet probe(s->run(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(table), {}));
        const QStringList names = probe.columnNames();
        return std::make_unique<TableRowSet>(s, s->realName(table), names);
    }

    void transaction(const std::function<void()>& work) override { session()->transaction(work); }

    // One statement: the DELETE hands its row to the INSERT, so a row that
    // another desktop deletes at the same moment is moved by one of the two
    // only, and counted as gone by the other.
    std::optional<QString> moveRow(const QString& from, const QString& key, const QString& to,
        const QStringList& columns, const QMap<QString, QString>& stamps) override
    {
        const SessionPtr& s = session();
        QStringList names;
        QStringList values;
        QStringList parameters { key }; // the DELETE's mark comes first
        for (auto it = stamps.cbegin(); it != stamps.cend(); ++it) {
            names << QString::fromUtf8(quoteIdentifier(s->realName(it.key())));
            values << QStringLiteral("CAST(? AS text)");
            parameters << it.value();
        }
        QStringList copied;
        for (const QString& column : columns) {
            const QString quoted = QString::fromUtf8(quoteIdentifier(s->realName(column)));
            names << quoted;
            values << quoted;
            copied << quoted;
        }
        const QString sql
            = QStringLiteral("WITH moved AS (DELETE FROM %1 WHERE rowid = CAST(? AS bigint) RETURNING %2) "
                             "INSERT INTO %3 (%4) SELECT %5 FROM moved RETURNING rowid")
                  .arg(QString::fromUtf8(quoteIdentifier(s->realName(from))), copied.join(QStringLiteral(", ")),
                      QString::fromUtf8(quoteIdentifier(s->realName(to))), names.join(QStringLiteral(", ")),
                      values.join(QStringLiteral(", ")));
        ResultRowSet moved(s->run(sql, parameters));
        if (moved.atEnd())
            return std::nullopt;
        return moved.field(QStringLiteral("rowid"));
    }

    bool hasTable(const QString& table) override
    {
        ResultRowSet found(session()->run(QStringLiteral("SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = "
                                                         "c.relnamespace WHERE c.relkind IN ('r', 'p') AND "
                                                         "lower(c.relname) = lower(?) AND n.nspname = ANY "
                                                         "(current_schemas(false))"),
            { table }));
        return !found.atEnd();
    }

    // The desktops' role may not create tables: the server's tables are
    // made by its administrator (platform/postgres/fudousan_postgresql.sql).
    void createTable(const QString& table, const QStringList&) override
    {
        if (hasTable(table))
            return;
        throw PlatformError(QStringLiteral("%1 に表 %2 がありません。この表は、サーバーの管理者が "
                                           "fudousan_postgresql.sql の %2 の部分を実行して作ります。")
                                .arg(session()->label(), table));
    }

    // Every commit is the server's: there is no file beside the program to
    // complete.
    bool checkpoint() override { return true; }

    // The server's backups are made on the server (pg_dump), not by desktops.
    bool keepsDailyCopies() const override { return false; }
    void copyTo(const QString&) override
    {
        throw PlatformError(QStringLiteral("サーバーのデータベースの控えは、サーバーで pg_dump により取って下さい。"));
    }

    // The identity column of the server's table (platform/postgres/fudousan_postgresql.sql).
    QString rowKeyColumn() const override { return QStringLiteral("rowid"); }

private:
    const SessionPtr& session() const
    {
        if (!m_session)
            throw PlatformError(QStringLiteral("データベースに接続されていません。"));
        return m_session;
    }

    QString m_connectionString;
    QString m_label;
    SessionPtr m_session;
};
} // namespace

PostgresDatabaseEngine::PostgresDatabaseEngine(QString connectionString)
    : m_connectionString(std::move(connectionString))
{
}

std::unique_ptr<Connection> PostgresDatabaseEngine::createConnection()
{
    return std::make_unique<PostgresConnection>(m_connectionString, describeServer(m_connectionString));
}

QString PostgresDatabaseEngine::describeDatabase(const QString&) const
{
    return describeServer(m_connectionString);
}

QString PostgresDatabaseEngine::describeServer(const QString& connectionString)
{
    ConninfoOptions parsed;
    if (!parseConninfo(connectionString, parsed))
        return QStringLiteral("データベースサーバー（接続設定の書式が正しくありません）");
    return serverLabel(parsed);
}
