#include "platform/sqlite/SqliteFileWatch.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sqlite_engine {

namespace {

    // Up to `length` bytes from the start of `fd`, or nothing when unreadable.
    QByteArray head(int fd, int length)
    {
        QByteArray bytes(length, Qt::Uninitialized);
        const ssize_t got = fd < 0 ? -1 : ::pread(fd, bytes.data(), size_t(length), 0);
        bytes.truncate(got > 0 ? int(got) : 0);
        return bytes;
    }

    int openForReading(const QString& path)
    {
        return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    }

} // namespace

FileMark markOf(Handle& handle)
{
    FileMark mark;
    struct stat info;
    if (handle.encodedPath.isEmpty())
        handle.encodedPath = QFile::encodeName(handle.path);
    if (::stat(handle.encodedPath.constData(), &info) != 0)
        return mark;
    mark.present = true;
    mark.device = info.st_dev;
    mark.inode = info.st_ino;
    mark.size = info.st_size;
    mark.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    // The heads are read through descriptors kept open: while the path names
    // the file they were opened on, they read what the path shows, and when
    // it names another file the identity above already tells.
    if (handle.fileFd < 0)
        handle.fileFd = openForReading(handle.path);
    mark.header = head(handle.fileFd, 100);
    if (handle.indexFd < 0)
        handle.indexFd = openForReading(handle.path + QStringLiteral("-shm"));
    mark.index = head(handle.indexFd, 136); // index header and checkpoint information
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
{
    // Within a transaction of several statements the path is checked as it
    // begins and before its commit, not at each statement.
    if (!handle.watching || handle.inTransaction)
        return;
    if (!handle.lost.isEmpty())
        throw PlatformError(handle.lost);
    if (handle.watchDepth > 0) {
        // Inside an operation that checked the path as it began: its
        // statements follow at once, and it looks again as it ends.
        ++handle.watchDepth;
        m_counted = true;
        return;
    }
    const FileMark now = markOf(handle);
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
    ++handle.watchDepth;
    m_counted = true;
    m_outermost = true;
}

PathWatch::~PathWatch()
{
    if (!m_counted)
        return;
    --m_handle.watchDepth;
    if (m_outermost && m_handle.lost.isEmpty())
        m_handle.seen = markOf(m_handle);
}

} // namespace sqlite_engine
