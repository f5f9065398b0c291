#include "platform/print/QtPdfFileSource.h"

#include "platform/MessageBox.h"
#include "platform/PlatformError.h"
#include "platform/print/PdfFileWriting.h"
#include "platform/print/QtPdfPrinter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QtPdfFileSource::QtPdfFileSource(MessageBox& messages, const QString& documentsFolder)
    : m_messages(messages)
    , m_documentsFolder(documentsFolder)
{
}

QString QtPdfFileSource::suggestedPath(const QString& documentName) const
{
    return QDir(m_documentsFolder).absoluteFilePath(QtPdfPrinter::safeFileName(documentName) + QStringLiteral(".pdf"));
}

std::unique_ptr<Printer> QtPdfFileSource::openPdfFile(const QString& path)
{
    return std::make_unique<QtPdfFilePrinter>(m_messages, path);
}

QtPdfFilePrinter::QtPdfFilePrinter(MessageBox& messages, const QString& path)
    : m_messages(messages)
    , m_path(path)
{
}

void QtPdfFilePrinter::printPage()
{
    QIODevice& pdf = renderPdf();
    const QString shownPath = QDir::toNativeSeparators(m_path);
    const QFileInfo chosen(m_path);
    const QString folderPath = chosen.absolutePath();
    const QFileInfo folder(folderPath);
    const auto failed = [&](const QString& why) {
        throw PlatformError(QStringLiteral("PDFファイル「%1」を保存できませんでした。%2").arg(shownPath, why));
    };
    if (!folder.isDir())
        failed(QStringLiteral("フォルダー「%1」がありません。").arg(QDir::toNativeSeparators(folderPath)));
    if (chosen.isDir() && !chosen.isSymLink())
        failed(QStringLiteral("その名前のフォルダーがあります。"));

    // Written beside the chosen name in the folder the dialog showed and
    // renamed over it: a failure leaves the old file whole, and a link in
    // place of the name is replaced by the file, never written through to
    // wherever it points.
    QByteArray part = QFile::encodeName(QDir(folderPath).filePath(QLatin1Char('.') + chosen.fileName()))
        + QByteArrayLiteral(".XXXXXX");
    const int fd = ::mkostemp(part.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (!folder.isWritable())
            failed(QStringLiteral("このフォルダーには書き込めません（%1）。")
                       .arg(QString::fromLocal8Bit(std::strerror(error))));
        failed(QStringLiteral("（%1）").arg(print_files::describeWriteError(error)));
    }
    // A file that is replaced keeps its permissions; a new one gets those of
    // any new file.
    struct stat old;
    const QByteArray target = QFile::encodeName(m_path);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    if (::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode))
        mode = old.st_mode & 07777;
    int error = ::fchmod(fd, mode) == 0 ? print_files::writeAll(fd, pdf) : errno;
    ::close(fd);
    if (error == 0 && ::rename(part.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(part.constData());
        failed(QStringLiteral("（%1）").arg(print_files::describeWriteError(error)));
    }
    const int folderFd = ::open(QFile::encodeName(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd); // the rename itself reaches the disk
        ::close(folderFd);
    }

    m_messages.show(
        QStringLiteral("チラシをPDFファイルに保存しました。\n%1").arg(shownPath), MB_Information, kMessageTitle);
}
