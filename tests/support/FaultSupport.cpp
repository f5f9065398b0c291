#include "tests/support/FaultSupport.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

QString faultDriverPath()
{
    return QDir(QStringLiteral(FUDOUSAN_BIN_DIR)).filePath(QStringLiteral("fudousan_fault_driver"));
}

QString pragmaOnFile(const QString& path, const QString& pragma)
{
    sqlite3* db = nullptr;
    QStringList lines;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, pragma.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW)
                lines << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
    }
    if (lines.isEmpty())
        lines << QStringLiteral("(failed: %1)").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_close_v2(db);
    return lines.join(QLatin1Char('\n'));
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QRandomGenerator killMoments(const char* loop)
{
    bool given = false;
    quint32 start = qEnvironmentVariable("FUDOUSAN_KILL_MOMENTS").toUInt(&given);
    if (!given)
        start = QRandomGenerator::system()->generate();
    qInfo("%s: random kill moments from start value %u (FUDOUSAN_KILL_MOMENTS=%u repeats them)", loop, start, start);
    return QRandomGenerator(start);
}
