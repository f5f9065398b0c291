// fudousan_copy_database: moves an office's property list between a Fudousan.mdb
// (SQLite) file and a PostgreSQL server, in both directions:
//
//   fudousan_copy_database to-server FILE SERVER      every row of FILE into the server's table
//   fudousan_copy_database from-server SERVER FILE    every row of the server's table into FILE
//
// SERVER is a libpq connection string or URI, as in Fudousan.ini (no
// password: libpq's ~/.pgpass or certificates supply it). Rows keep their
// order and their 29 values exactly, NULL apart from the empty string. The
// target must be empty (a missing FILE is created as the prepared empty
// file); a target that already holds a row is refused and left untouched.
// The copy is one transaction: it lands whole or not at all.
#include "model/PropertyRecord.h"
#include "platform/sqlite/EmptyDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <libpq-fe.h>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace {

using Row = std::vector<std::optional<QByteArray>>;

[[noreturn]] void die(const QString& message)
{
    std::fprintf(stderr, "fudousan_copy_database: %s\n", message.toUtf8().constData());
    std::exit(1);
}

QByteArray columnList(bool quoted)
{
    QByteArrayList names;
    for (const char* c : kPropertyColumns)
        names << (quoted ? QByteArray("\"") + c + "\"" : QByteArray(c));
    return names.join(", ");
}

struct Server
{
    PGconn* conn = nullptr;
    explicit Server(const QString& conninfo)
    {
        char* error = nullptr;
        PQconninfoOption* options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
        PQfreemem(error);
        if (!options)
            die(QStringLiteral("接続設定の書式が正しくありません。"));
        for (PQconninfoOption* o = options; o->keyword; ++o)
            if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val) {
                PQconninfoFree(options);
                die(QStringLiteral("接続設定にパスワードが書かれています。~/.pgpass などで与えて下さい。"));
            }
        PQconninfoFree(options);
        const char* keywords[] = { "dbname", "connect_timeout", "client_encoding", nullptr };
        const QByteArray dsn = conninfo.toUtf8();
        const char* values[] = { dsn.constData(), "10", "UTF8", nullptr };
        conn = PQconnectdbParams(keywords, values, 1);
        if (PQstatus(conn) != CONNECTION_OK)
            die(QStringLiteral("サーバーに接続できません: ") + QString::fromUtf8(PQerrorMessage(conn)).trimmed());
    }
    ~Server() { PQfinish(conn); }

    PGresult* run(const char* sql, const std::vector<const char*>& params = {}, const std::vector<int>& lengths = {})
    {
        PGresult* r = PQexecParams(conn, sql, int(params.size()), nullptr, params.data(),
            lengths.empty() ? nullptr : lengths.data(), nullptr, 0);
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const QString why = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
            PQclear(r);
            die(QStringLiteral("サーバーが文を受け付けませんでした（何も書き込んでいません）: ") + why);
        }
        return r;
    }
};

struct File
{
    sqlite3* db = nullptr;
    QString path;
    File(const QString& p, int flags)
        : path(p)
    {
        if (sqlite3_open_v2(QFile::encodeName(p).constData(), &db, flags, nullptr) != SQLITE_OK)
            die(QStringLiteral("%1 を開けません: %2").arg(p, QString::fromUtf8(sqlite3_errmsg(db))));
        sqlite3_busy_timeout(db, 3000);
    }
    ~File() { sqlite3_close_v2(db); }

    void exec(const char* sql)
    {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            die(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
    }
};

int toServer(const QString& filePath, const QString& conninfo)
{
    if (!QFile::exists(filePath))
        die(QStringLiteral("%1 がありません。").arg(filePath));
    File file(filePath, SQLITE_OPEN_READONLY);
    std::vector<Row> rows;
    {
        sqlite3_stmt* stmt = nullptr;
        const QByteArray sql = "SELECT " + columnList(false) + " FROM Fudousan ORDER BY rowid";
        if (sqlite3_prepare_v2(file.db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
            die(QStringLiteral("%1: %2").arg(filePath, QString::fromUtf8(sqlite3_errmsg(file.db))));
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            Row row;
            for (int c = 0; c < kColumnCount; ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                if (!text) {
                    row.emplace_back(std::nullopt);
                    continue;
                }
                const QByteArray value(text, sqlite3_column_bytes(stmt, c));
                if (value.contains('\0'))
                    die(QStringLiteral(
                        "%1 件目の列 %2 に NUL 文字があり、サーバーには保存できません（何も書き込んでいません）。")
                            .arg(rows.size() + 1)
                            .arg(QLatin1String(kPropertyColumns[c])));
                row.emplace_back(value);
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            die(QStringLiteral("%1 を読み切れませんでした: %2")
                    .arg(filePath, QString::fromUtf8(sqlite3_errmsg(file.db))));
    }

    Server server(conninfo);
    PQclear(server.run("BEGIN"));
    // Nobody registers while the emptiness is checked and the rows go in.
    PQclear(server.run("LOCK TABLE \"Fudousan\" IN SHARE ROW EXCLUSIVE MODE"));
    PGresult* count = server.run("SELECT count(*) FROM \"Fudousan\"");
    const QByteArray present = PQgetvalue(count, 0, 0);
    PQclear(count);
    if (present != "0")
        die(QStringLiteral("サーバーの表 Fudousan は空ではありません（%1 件）。何も書き込んでいません。")
                .arg(QString::fromUtf8(present)));
    QByteArrayList marks;
    for (int c = 1; c <= kColumnCount; ++c)
        marks << "$" + QByteArray::number(c);
    const QByteArray insert = "INSERT INTO \"Fudousan\" (" + columnList(true) + ") VALUES (" + marks.join(", ") + ")";
    PGresult* prepared = PQprepare(server.conn, "row", insert.constData(), kColumnCount, nullptr);
    if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
        die(QString::fromUtf8(PQresultErrorMessage(prepared)).trimmed());
    PQclear(prepared);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::vector<const char*> values;
        for (const auto& v : rows[r])
            values.push_back(v ? v->constData() : nullptr);
        PGresult* done = PQexecPrepared(server.conn, "row", kColumnCount, values.data(), nullptr, nullptr, 0);
        if (PQresultStatus(done) != PGRES_COMMAND_OK)
            die(QStringLiteral("%1 件目を書き込めませんでした（何も書き込んでいません）: %2")
                    .arg(r + 1)
                    .arg(QString::fromUtf8(PQresultErrorMessage(done)).trimmed()));
        PQclear(done);
    }
    PQclear(server.run("COMMIT"));
    std::printf("%zu 件をサーバーに写しました。\n", rows.size());
    return 0;
}

int fromServer(const QString& conninfo, const QString& filePath)
{
    Server server(conninfo);
    const QByteArray sql = "SELECT " + columnList(true) + " FROM \"Fudousan\" ORDER BY rowid";
    PGresult* result = server.run(sql.constData());

    if (!QFile::exists(filePath)) {
        QString error;
        if (!createEmptyDatabase(filePath, &error))
            die(error);
    }
    File file(filePath, SQLITE_OPEN_READWRITE);
    file.exec("PRAGMA synchronous=FULL");
    file.exec("BEGIN IMMEDIATE");
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(file.db, "SELECT count(*) FROM Fudousan", -1, &stmt, nullptr) != SQLITE_OK
            || sqlite3_step(stmt) != SQLITE_ROW)
            die(QStringLiteral("%1: %2").arg(filePath, QString::fromUtf8(sqlite3_errmsg(file.db))));
        const int present = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
        if (present != 0)
            die(QStringLiteral("%1 の表 Fudousan は空ではありません（%2 件）。何も書き込んでいません。")
                    .arg(filePath)
                    .arg(present));
    }
    QByteArrayList marks;
    for (int c = 0; c < kColumnCount; ++c)
        marks << "?";
    const QByteArray insert = "INSERT INTO Fudousan (" + columnList(false) + ") VALUES (" + marks.join(", ") + ")";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(file.db, insert.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        die(QStringLiteral("%1: %2").arg(filePath, QString::fromUtf8(sqlite3_errmsg(file.db))));
    const int count = PQntuples(result);
    for (int r = 0; r < count; ++r) {
        for (int c = 0; c < kColumnCount; ++c) {
            if (PQgetisnull(result, r, c))
                sqlite3_bind_null(stmt, c + 1);
            else
                sqlite3_bind_text(stmt, c + 1, PQgetvalue(result, r, c), PQgetlength(result, r, c), SQLITE_STATIC);
        }
        if (sqlite3_step(stmt) != SQLITE_DONE)
            die(QStringLiteral("%1 件目を書き込めませんでした（何も書き込んでいません）: %2")
                    .arg(r + 1)
                    .arg(QString::fromUtf8(sqlite3_errmsg(file.db))));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    PQclear(result);
    file.exec("COMMIT");
    // The file alone holds the rows, as a copy for a USB stick must.
    file.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    std::printf("%d 件を %s に写しました。\n", count, filePath.toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("to-server"))
        return toServer(args.at(2), args.at(3));
    if (args.size() == 4 && args.at(1) == QLatin1String("from-server"))
        return fromServer(args.at(2), args.at(3));
    std::fprintf(stderr,
        "usage: fudousan_copy_database to-server FILE SERVER\n"
        "       fudousan_copy_database from-server SERVER FILE\n");
    return 2;
}
