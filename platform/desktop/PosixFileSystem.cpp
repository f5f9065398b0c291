#include "platform/desktop/PosixFileSystem.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString systemReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("書き込みが許可されていません");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ディスクがいっぱいです");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// A rename or link is on disk only once its folder is.
void syncFolder(const QString& file)
{
    const int fd = ::open(encoded(QFileInfo(file).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool copyBytes(const QString& from, const QString& to)
{
    const int in = ::open(encoded(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(encoded(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        errno = error;
        return false;
    }
    char buffer[1 << 16];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0 || ::write(out, buffer, size_t(n)) != n) {
            ok = false;
            break;
        }
    }
    const int error = errno;
    ok = ok && ::fsync(out) == 0;
    ::close(in);
    ok = ::close(out) == 0 && ok;
    if (!ok) {
        ::unlink(encoded(to).constData());
        errno = error ? error : EIO;
    }
    return ok;
}

} // namespace

bool PosixFileSystem::exists(const QString& path) const
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0;
}

bool PosixFileSystem::sameFile(const QString& a, const QString& b) const
{
    struct stat sa;
    struct stat sb;
    return ::stat(encoded(a).constData(), &sa) == 0 && ::stat(encoded(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool PosixFileSystem::keepAs(const QString& original, const QString& copy)
{
    if (::link(encoded(original).constData(), encoded(copy).constData()) != 0) {
        if (errno == EEXIST)
            return false;
        // File systems without hard links (FAT on a USB stick): a copy.
        if (errno != EPERM && errno != EXDEV && errno != EMLINK && errno != ENOTSUP && errno != ENOSYS)
            throw PlatformError(QStringLiteral("元のファイルを %1 として残せませんでした（%2）。")
                                    .arg(native(copy), systemReason(errno)));
        if (!copyBytes(original, copy)) {
            if (errno == EEXIST)
                return false;
            throw PlatformError(
                QStringLiteral("元のファイルを %1 に写せませんでした（%2）。").arg(native(copy), systemReason(errno)));
        }
    }
    syncFolder(copy);
    return true;
}

void PosixFileSystem::move(const QString& from, const QString& to, bool replace)
{
    int rc = 0;
    if (replace) {
        rc = ::rename(encoded(from).constData(), encoded(to).constData());
    } else {
        rc = ::renameat2(AT_FDCWD, encoded(from).constData(), AT_FDCWD, encoded(to).constData(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // No RENAME_NOREPLACE here: a link cannot replace either.
            rc = ::link(encoded(from).constData(), encoded(to).constData());
            if (rc == 0)
                ::unlink(encoded(from).constData());
        }
    }
    if (rc != 0) {
        if (errno == EEXIST)
            throw PlatformError(QStringLiteral("%1 が既にあるため、上書きしませんでした。").arg(native(to)));
        throw PlatformError(
            QStringLiteral("%1 を %2 に置けませんでした（%3）。").arg(native(from), native(to), systemReason(errno)));
    }
    syncFolder(to);
}

void PosixFileSystem::remove(const QString& path)
{
    if (::unlink(encoded(path).constData()) != 0 && errno != ENOENT)
        throw PlatformError(QStringLiteral("%1 を削除できませんでした（%2）。").arg(native(path), systemReason(errno)));
    syncFolder(path);
}

QStringList PosixFileSystem::list(const QString& folder, const QString& prefix) const
{
    QStringList names;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : entries) {
        if (name.startsWith(prefix))
            names << QDir(folder).filePath(name);
    }
    return names;
}

bool PosixFileSystem::processRuns(qint64 pid) const
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

qint64 PosixFileSystem::processId() const
{
    return ::getpid();
}
