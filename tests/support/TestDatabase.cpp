#include "tests/support/TestDatabase.h"

#include "platform/sqlite/EmptyDatabase.h"
#include "tests/support/PgTestServer.h"
#include "tests/support/PropertyFill.h"

#include "platform/postgres/PostgresDatabaseEngine.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTest>

#include <QRegularExpression>

#include <cstdio>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

struct Db
{
    sqlite3* db = nullptr;
    explicit Db(const QString& path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            qFatal("cannot open test database %s", qPrintable(path));
        sqlite3_busy_timeout(db, 5000);
    }
    ~Db() { sqlite3_close_v2(db); }
};

} // namespace

PgTestServer* TestDatabase::s_server = nullptr;

namespace {

// Test SQL is written for SQLite, whose names ignore letter case; on the
// server the mixed-case names of the table must be quoted.
QString forServer(QString sql)
{
    QStringList names { QStringLiteral("Fudousan") };
    for (const char* c : kPropertyColumns)
        names << QString::fromLatin1(c);
    for (const QString& n : names)
        sql.replace(QRegularExpression(QStringLiteral("(?<![\\w\"'])%1(?![\\w\"'])").arg(n)),
            QLatin1Char('"') + n + QLatin1Char('"'));
    return sql;
}

struct Pg
{
    PGconn* c;
    explicit Pg(const PgTestServer* server)
        : c(PQconnectdb(server->conninfo().toUtf8().constData()))
    {
        if (PQstatus(c) != CONNECTION_OK)
            qFatal("cannot reach the test server: %s", PQerrorMessage(c));
    }
    ~Pg() { PQfinish(c); }
};

} // namespace

std::unique_ptr<DatabaseEngine> TestDatabase::engine()
{
    if (s_server)
        return std::make_unique<PostgresDatabaseEngine>(s_server->conninfo(QStringLiteral("fudousan_desktop")));
    // The fault driver, started by a test that runs its own server.
    if (qEnvironmentVariableIsSet("FUDOUSAN_TEST_SERVER"))
        return std::make_unique<PostgresDatabaseEngine>(qEnvironmentVariable("FUDOUSAN_TEST_SERVER"));
    return std::make_unique<SqliteDatabaseEngine>();
}

void TestDatabase::replaceTable(const QStringList& columns) const
{
    if (m_server) {
        exec(
            QStringLiteral("DROP TABLE Fudousan; CREATE TABLE Fudousan (rowid bigint GENERATED ALWAYS AS IDENTITY, %1);"
                           "GRANT SELECT, INSERT, DELETE ON Fudousan TO fudousan_desktop;")
                .arg(columns.join(QLatin1Char(','))));
        return;
    }
    exec(QStringLiteral("DROP TABLE Fudousan; CREATE TABLE Fudousan (%1);").arg(columns.join(QLatin1Char(','))));
}

void TestDatabase::refuseDeletion(const QString& location, const QString& table) const
{
    QString quoted = location;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    if (s_server) {
        s_server->exec(
            QStringLiteral("CREATE FUNCTION keep() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                           "IF old.\"Syozai\" = '%1' THEN RAISE EXCEPTION 'kept'; END IF; RETURN old; END $$; "
                           "CREATE TRIGGER keep BEFORE DELETE ON \"%2\" FOR EACH ROW EXECUTE FUNCTION keep();")
                .arg(quoted, table));
        return;
    }
    exec(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON \"%2\" WHEN old.Syozai = '%1' "
                        "BEGIN SELECT RAISE(ABORT, 'kept'); END;")
             .arg(quoted, table));
}

int TestDatabase::runOnBothEngines(QObject& test, int argc, char** argv)
{
    int failures = QTest::qExec(&test, argc, argv);
    PgTestServer server;
    if (!server.isRunning()) {
        std::printf("SKIP   : %s on PostgreSQL: %s\n", test.metaObject()->className(), qPrintable(server.skipReason()));
        return failures;
    }
    std::printf("********* The same tests on a private PostgreSQL server *********\n");
    std::fflush(stdout);
    s_server = &server;
    failures += QTest::qExec(&test, argc, argv);
    s_server = nullptr;
    return failures;
}

TestDatabase::TestDatabase(PgTestServer& server)
    : m_server(&server)
{
}

TestDatabase::TestDatabase(bool create)
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
    if (m_server) {
        m_server->resetDatabase(create);
        return;
    }
    if (create) {
        QString error;
        if (!createEmptyDatabase(path(), &error))
            qFatal("%s", qPrintable(error));
    }
}

QString TestDatabase::path() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("Fudousan.mdb"));
}

void TestDatabase::exec(const QString& sql) const
{
    if (m_server) {
        m_server->exec(forServer(sql));
        return;
    }
    Db d(path());
    char* message = nullptr;
    if (sqlite3_exec(d.db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        qFatal("SQL failed: %s: %s", qPrintable(sql), qPrintable(text));
    }
}

void TestDatabase::insert(const PropertyRecord& record) const
{
    if (m_server) {
        QStringList names;
        QStringList marks;
        QByteArrayList values;
        std::vector<const char*> pointers;
        for (int i = 0; i < kColumnCount; ++i) {
            names << QLatin1Char('"') + propertyColumn(i) + QLatin1Char('"');
            marks << QStringLiteral("$%1").arg(i + 1);
            values << record[i].toUtf8();
        }
        for (const QByteArray& v : values)
            pointers.push_back(v.constData());
        Pg pg(m_server);
        const QByteArray sql = QStringLiteral("INSERT INTO \"Fudousan\" (%1) VALUES (%2)")
                                   .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
                                   .toUtf8();
        PGresult* r = PQexecParams(pg.c, sql.constData(), kColumnCount, nullptr, pointers.data(), nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            qFatal("insert failed: %s", PQerrorMessage(pg.c));
        PQclear(r);
        return;
    }
    QString error;
    if (!insertProperties(
            path(), 1, [&](int) { return record; }, &error))
        qFatal("%s", qPrintable(error));
}

std::vector<std::vector<std::optional<QString>>> TestDatabase::rows() const
{
    return readRows(kPropertyTable, propertyColumnNames());
}

std::vector<std::vector<std::optional<QString>>> TestDatabase::deletedRows() const
{
    return readRows(kDeletedTable, QStringList { kDeletedAtColumn } + propertyColumnNames());
}

std::vector<std::vector<std::optional<QString>>> TestDatabase::readRows(
    const QString& table, const QStringList& columns) const
{
    const QStringDecoder::Flags flags = QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless;
    QStringList names;
    for (const QString& c : columns)
        names << QLatin1Char('"') + c + QLatin1Char('"');
    const QByteArray sql
        = QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY rowid").arg(names.join(QLatin1Char(',')), table).toUtf8();
    const int width = int(columns.size());
    std::vector<std::vector<std::optional<QString>>> result;
    if (m_server) {
        Pg pg(m_server);
        PGresult* r = PQexec(pg.c, sql.constData());
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            qFatal("read failed: %s", PQerrorMessage(pg.c));
        for (int row = 0; row < PQntuples(r); ++row) {
            std::vector<std::optional<QString>> values;
            for (int c = 0; c < width; ++c) {
                if (PQgetisnull(r, row, c))
                    values.emplace_back(std::nullopt);
                else
                    values.emplace_back(QStringDecoder(QStringConverter::Utf8, flags)(
                        QByteArrayView(PQgetvalue(r, row, c), PQgetlength(r, row, c))));
            }
            result.push_back(std::move(values));
        }
        PQclear(r);
        return result;
    }
    Db d(path());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(d.db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("prepare failed: %s", sqlite3_errmsg(d.db));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::optional<QString>> row;
        for (int c = 0; c < width; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            if (text)
                row.emplace_back(
                    QStringDecoder(QStringConverter::Utf8, flags)(QByteArrayView(text, sqlite3_column_bytes(stmt, c))));
            else
                row.emplace_back(std::nullopt);
        }
        result.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return result;
}

QStringList TestDatabase::values(const QString& sql) const
{
    QStringList result;
    if (m_server) {
        Pg pg(m_server);
        PGresult* r = PQexec(pg.c, forServer(sql).toUtf8().constData());
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            qFatal("SQL failed: %s: %s", qPrintable(sql), PQerrorMessage(pg.c));
        for (int row = 0; row < PQntuples(r); ++row)
            result << (PQgetisnull(r, row, 0) ? QStringLiteral("<NULL>") : QString::fromUtf8(PQgetvalue(r, row, 0)));
        PQclear(r);
        return result;
    }
    Db d(path());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(d.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("prepare failed: %s: %s", qPrintable(sql), sqlite3_errmsg(d.db));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        result << (text ? QString::fromUtf8(text) : QStringLiteral("<NULL>"));
    }
    sqlite3_finalize(stmt);
    return result;
}

int TestDatabase::rowCount() const
{
    return int(rows().size());
}

std::optional<QString> TestDatabase::value(const QString& sql) const
{
    if (m_server) {
        Pg pg(m_server);
        PGresult* r = PQexec(pg.c, forServer(sql).toUtf8().constData());
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            qFatal("SQL failed: %s: %s", qPrintable(sql), PQerrorMessage(pg.c));
        std::optional<QString> result;
        if (PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
            result = QString::fromUtf8(PQgetvalue(r, 0, 0));
        PQclear(r);
        return result;
    }
    Db d(path());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(d.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("prepare failed: %s: %s", qPrintable(sql), sqlite3_errmsg(d.db));
    std::optional<QString> result;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
        result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return result;
}

PropertyRecord TestDatabase::distinctRecord(const QString& tag)
{
    PropertyRecord record;
    for (int i = 0; i < kColumnCount; ++i)
        record[i] = QString::fromLatin1(kPropertyColumns[i]) + QLatin1Char('-') + tag;
    return record;
}
