#include "platform/print/PdfFileWriting.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace print_files {

namespace {

    constexpr qint64 kChunk = 1024 * 1024;

    int writeBytes(int fd, const QByteArray& bytes)
    {
        const char* at = bytes.constData();
        qint64 left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, at, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return written < 0 ? errno : EIO;
            at += written;
            left -= written;
        }
        return 0;
    }

} // namespace

int writeAll(int fd, QIODevice& pdf)
{
    while (!pdf.atEnd()) {
        const QByteArray part = pdf.read(kChunk);
        if (part.isEmpty())
            return EIO;
        if (const int error = writeBytes(fd, part))
            return error;
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

QString describeWriteError(int error)
{
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return QStringLiteral("ディスクがいっぱいです。空きを作ってから、もう一度やり直して下さい");
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace print_files
