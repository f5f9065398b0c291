#include "platform/sqlite/SqliteErrors.h"

#include "platform/PlatformError.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "platform/sqlite/SqliteSideFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace sqlite_engine {

bool canWrite(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// The engine's own codes do not tell a read-only file from a folder in which
// the journal files cannot be created: the file system does.
QString describeAccess(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!canWrite(path))
        return QStringLiteral("データベースファイル %1 は読み取り専用のため、書き込めません。"
                              "ファイルの読み取り専用の設定を外して下さい。")
            .arg(QDir::toNativeSeparators(path));
    if (!canWrite(folder))
        return QStringLiteral("データベースファイルのあるフォルダー %1 に書き込めないため、"
                              "作業用ファイル（Fudousan.mdb-wal など）を作れません。"
                              "フォルダーに書き込めるようにして下さい。")
            .arg(QDir::toNativeSeparators(folder));
    return describeSideFiles(path);
}

// The engine reports a full disk as an I/O error when the shared-memory index
// or the log cannot grow.
bool diskFull(const QString& path)
{
    struct statvfs disk;
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &disk) != 0)
        return false;
    return quint64(disk.f_bavail) * disk.f_frsize < 64 * 1024;
}

QString describeCode(int code, const QString& path)
{
    const QString file = QDir::toNativeSeparators(path);
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("データベースファイル %1 は他のプログラムが使用中です。"
                              "%2 秒待ちましたが空きませんでした。しばらく待ってからやり直して下さい。")
            .arg(file)
            .arg(SqliteDatabaseEngine::kBusyTimeoutMs / 1000);
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_IOERR: {
        const QString access = describeAccess(path);
        if (!access.isEmpty())
            return access;
        if (diskFull(path))
            return describeCode(SQLITE_FULL, path);
        if ((code & 0xff) == SQLITE_READONLY)
            return QStringLiteral("データベースファイル %1 に書き込めません。").arg(file);
        if ((code & 0xff) == SQLITE_IOERR)
            return QStringLiteral("データベースファイル %1 の読み書きに失敗しました。").arg(file);
        if ((code & 0xff) == SQLITE_CANTOPEN)
            return QStringLiteral("データベースファイル %1 を開けません。").arg(file);
        return QStringLiteral("データベースファイル %1 へのアクセスが許可されていません。").arg(file);
    }
    case SQLITE_NOTADB:
        return QStringLiteral("%1 はデータベースファイルではありません。").arg(file);
    case SQLITE_CORRUPT:
        return QStringLiteral("データベースファイル %1 が壊れています。").arg(file);
    case SQLITE_FULL:
        return QStringLiteral("ディスクがいっぱいです。データベースファイル %1 のあるディスクに空きを作ってから、"
                              "やり直して下さい。")
            .arg(file);
    case SQLITE_TOOBIG:
        return QStringLiteral("値が大きすぎるため、保存できませんでした。");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("データベースが値を受け付けませんでした。");
    default:
        return QStringLiteral("データベースの処理に失敗しました。");
    }
}

void fail(sqlite3* db, int code, const QString& path)
{
    const char* engineText = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    // A statement on a table the file does not have: say which, in words the
    // user can act on.
    static const QByteArray kNoSuchTable("no such table: ");
    if (QByteArray(engineText).startsWith(kNoSuchTable)) {
        const QString table = QString::fromUtf8(QByteArray(engineText).mid(kNoSuchTable.size()));
        throw PlatformError(QStringLiteral("このデータベースファイル（%1）には表 %2 がありません。").arg(path, table));
    }
    QString text = describeCode(code, path);
    text += QStringLiteral("\n（%1）").arg(QString::fromUtf8(engineText));
    throw PlatformError(text);
}

// Reads the first bytes of the file, so that the user learns more than "not
// a database".
QString describeForeignFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(64);
    if (head.isEmpty())
        return QStringLiteral("データベースファイルが空です（0バイト）。");
    if (head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) && head.mid(4, 15) == "Standard Jet DB")
        return QStringLiteral(
            "このファイルは Access（Jet）形式のデータベースです。このプログラムはそのままでは開けません。"
            "SQLite 形式のデータベースに移し替えて下さい。");
    if (head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) && head.mid(4, 15) == "Standard ACE DB")
        return QStringLiteral(
            "このファイルは Access（ACE）形式のデータベースです。このプログラムはそのままでは開けません。"
            "SQLite 形式のデータベースに移し替えて下さい。");
    if (!head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return QStringLiteral("データベースファイルではありません（SQLite 形式でも Access 形式でもありません）。");
    const qint64 size = QFileInfo(path).size();
    if (head.size() < 64 || size < 512)
        return QStringLiteral("データベースファイルが途中で切れています（%1 バイトしかありません）。").arg(size);

    // The header records the size the file had at its last complete write
    // (valid when the change counter matches the version-valid-for number).
    // A shorter file lost its end, unless a WAL file still holds pages that
    // have not been copied back yet.
    file.seek(0);
    const QByteArray header = file.read(100);
    auto be32 = [&](int at) {
        return (quint32(quint8(header[at])) << 24) | (quint32(quint8(header[at + 1])) << 16)
            | (quint32(quint8(header[at + 2])) << 8) | quint32(quint8(header[at + 3]));
    };
    if (header.size() == 100) {
        quint32 pageSize = (quint32(quint8(header[16])) << 8) | quint8(header[17]);
        if (pageSize == 1)
            pageSize = 65536;
        const quint64 expected = quint64(pageSize) * be32(28);
        const QFileInfo wal(path + QStringLiteral("-wal"));
        const bool walHoldsPages = wal.exists() && wal.size() > 0;
        if (be32(24) == be32(92) && expected > quint64(size) && !walHoldsPages)
            return QStringLiteral(
                "データベースファイルが途中で切れています（%1 バイトあるはずが %2 バイトしかありません）。")
                .arg(expected)
                .arg(size);
    }
    return QString();
}

} // namespace sqlite_engine
