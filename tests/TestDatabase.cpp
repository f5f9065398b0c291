#include "TestDatabase.h"

#include "EmptyDatabase.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTest>

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

TestDatabase::TestDatabase(bool create)
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
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
    QString error;
    if (!insertProperties(path(), 1, [&](int) { return record; }, &error))
        qFatal("%s", qPrintable(error));
}

std::vector<std::vector<std::optional<QString>>> TestDatabase::rows() const
{
    Db d(path());
    QStringList names;
    for (const char* c : kPropertyColumns)
        names << QString::fromLatin1(c);
    const QByteArray sql = QStringLiteral("SELECT %1 FROM Fudousan ORDER BY rowid").arg(names.join(QLatin1Char(','))).toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(d.db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("prepare failed: %s", sqlite3_errmsg(d.db));
    std::vector<std::vector<std::optional<QString>>> result;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::optional<QString>> row;
        for (int c = 0; c < kColumnCount; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            if (text)
                row.emplace_back(QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom
                                                                    | QStringConverter::Flag::Stateless)(
                    QByteArrayView(text, sqlite3_column_bytes(stmt, c))));
            else
                row.emplace_back(std::nullopt);
        }
        result.push_back(std::move(row));
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
