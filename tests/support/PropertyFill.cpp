#include "tests/support/PropertyFill.h"

#include <QFile>
#include <QStringList>

#include <sqlite3.h>

namespace {

// Into `table`, with `leading` (column, value) written before the 29 columns when given.
bool insertInto(const QString& path, const QString& table, const QStringList& leading, int count,
    const std::function<PropertyRecord(int)>& recordAt, QString* error)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        sqlite3_busy_timeout(db, 5000);

    QStringList names;
    QStringList marks;
    if (!leading.isEmpty()) {
        names << leading.at(0);
        marks << QLatin1Char('\'') + leading.at(1) + QLatin1Char('\'');
    }
    for (const char* column : kPropertyColumns) {
        names << QString::fromLatin1(column);
        marks << QStringLiteral("?");
    }
    const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
                               .toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
    for (int n = 0; rc == SQLITE_OK && n < count; ++n) {
        const PropertyRecord record = recordAt(n);
        for (int i = 0; i < kColumnCount; ++i) {
            const QByteArray value = record[i].toUtf8();
            sqlite3_bind_text(stmt, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        }
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            rc = sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);", nullptr, nullptr, nullptr);
    const QString text = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    if (rc != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK && error)
        *error = QStringLiteral("cannot fill %1: %2").arg(path, text);
    return rc == SQLITE_OK;
}

} // namespace

bool insertProperties(
    const QString& path, int count, const std::function<PropertyRecord(int)>& recordAt, QString* error)
{
    return insertInto(path, kPropertyTable, {}, count, recordAt, error);
}

bool insertDeletedProperties(const QString& path, int count, const std::function<PropertyRecord(int)>& recordAt,
    const QString& deletedAt, QString* error)
{
    return insertInto(path, kDeletedTable, { kDeletedAtColumn, deletedAt }, count, recordAt, error);
}
