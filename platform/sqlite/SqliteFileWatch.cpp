#include "platform/sqlite/SqliteFileWatch.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace sqlite_engine {

FileMark markOf(const QString& path)
{
    FileMark mark;
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return mark;
    mark.present = true;
    mark.device = info.st_dev;
    mark.inode = info.st_ino;
    mark.size = info.st_size;
    mark.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        mark.header = file.read(100);
    QFile index(path + QStringLiteral("-shm"));
    if (index.open(QIODevice::ReadOnly))
        mark.index = index.read(136); // index header and checkpoint information
    return mark;
}

// Makes the handle refuse every further operation with `reason`. Closing it
// then folds nothing into whatever file now has the path.
void lose(Handle& handle, const QString& reason)
{
    handle.lost = reason;
    sqlite3_db_config(handle.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    throw PlatformError(reason);
}

PathWatch::PathWatch(Handle& handle)
    : m_handle(handle)
    , m_active(handle.watching && !handle.inTransaction)
{
    if (!m_active)
        return;
    if (!handle.lost.isEmpty())
        throw PlatformError(handle.lost);
    const FileMark now = markOf(handle.path);
    const QString message
        = QStringLiteral("データベースファイル %1 が、このプログラムの使用中に移動されたか、削除されたか、"
                         "別のファイルに置き換えられました。このファイルには何も書き込んでいません。"
                         "プログラムを終了して、起動し直して下さい。")
              .arg(QDir::toNativeSeparators(handle.path));
    if (!now.present || now.device != handle.opened.device || now.inode != handle.opened.inode) {
        sqlite3_wal_checkpoint_v2(handle.db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        lose(handle, message);
    }
    const bool contentChanged
        = now.size != handle.seen.size || now.modifiedNs != handle.seen.modifiedNs || now.header != handle.seen.header;
    if (contentChanged && !handle.seen.index.isEmpty() && now.index == handle.seen.index)
        lose(handle, message);
}

PathWatch::~PathWatch()
{
    if (m_active && m_handle.lost.isEmpty())
        m_handle.seen = markOf(m_handle.path);
}

} // namespace sqlite_engine
