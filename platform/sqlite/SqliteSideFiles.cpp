#include "platform/sqlite/SqliteSideFiles.h"

#include "platform/sqlite/SqliteErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace sqlite_engine {

namespace {

    QString wal(const QString& path)
    {
        return path + QStringLiteral("-wal");
    }

    QString index(const QString& path)
    {
        return path + QStringLiteral("-shm");
    }

    // Whether any process, this one included, holds a lock on the file at
    // `path`. Read from /proc/locks rather than asked of the file itself: an
    // open and close of it here would drop the locks this process's own
    // connections hold on it. Matched by inode alone, so a lock on another
    // disk's file of the same number only keeps the file. When the list
    // cannot be read, the file counts as in use.
    bool locked(const QString& path)
    {
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return false;
        QFile locks(QStringLiteral("/proc/locks"));
        if (!locks.open(QIODevice::ReadOnly))
            return true;
        const QByteArray inode = ':' + QByteArray::number(quint64(info.st_ino));
        for (const QByteArray& line : locks.readAll().split('\n')) {
            // "1: POSIX  ADVISORY  WRITE 25524 fe:00:10953306 120 120"
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 6 && fields.at(5).endsWith(inode))
                return true;
        }
        return false;
    }

    bool removeIfIdle(const QString& path)
    {
        const QFileInfo log(wal(path));
        const QFileInfo shm(index(path));
        if (!log.exists() && !shm.exists())
            return true;
        if ((log.exists() && log.size() > 0) || locked(index(path)) || locked(path))
            return false;
        // The index goes first: a log without its index is read afresh by
        // the next connection, an index without its log is not.
        return (!shm.exists() || QFile::remove(index(path))) && (!log.exists() || QFile::remove(wal(path)));
    }

    bool present(const QString& path)
    {
        struct stat info;
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
    }

} // namespace

void removeIdleSideFiles(const QString& path)
{
    removeIfIdle(path);
}

void removeSideFilesThatCannotBeWritten(const QString& path)
{
    const bool inTheWay
        = (present(index(path)) && !canWrite(index(path))) || (present(wal(path)) && !canWrite(wal(path)));
    if (inTheWay && canWrite(path))
        removeIfIdle(path);
}

QString describeSideFiles(const QString& path)
{
    for (const QString& side : { wal(path), index(path) }) {
        if (!present(side) || canWrite(side))
            continue;
        const QString name = QDir::toNativeSeparators(side);
        if (side == wal(path) && QFileInfo(side).size() > 0)
            return QStringLiteral("作業用ファイル %1 が読み取り専用のため、書き込めません。"
                                  "このファイルには、まだデータベースファイルに移していない登録が入っています。"
                                  "削除せずに、書き込めるようにして下さい。")
                .arg(name);
        return QStringLiteral("作業用ファイル %1 が読み取り専用のため、書き込めません。"
                              "このファイルを使っているプログラムをすべて終了してから、%1 を削除して下さい。")
            .arg(name);
    }
    return QString();
}

} // namespace sqlite_engine
