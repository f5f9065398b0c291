#include "platform/print/QtPdfFileSource.h"

#include "platform/MessageBox.h"
#include "platform/PlatformError.h"
#include "platform/print/QtPdfPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr qint64 kChunk = 1024 * 1024;
} // namespace

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
    const QFileInfo folder(QFileInfo(m_path).absolutePath());
    if (!folder.isDir())
        throw PlatformError(QStringLiteral("PDFファイル「%1」を保存できませんでした。フォルダー「%2」がありません。")
                                .arg(shownPath, QDir::toNativeSeparators(folder.filePath())));

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (!folder.isWritable())
            throw PlatformError(
                QStringLiteral("PDFファイル「%1」を保存できませんでした。このフォルダーには書き込めません（%2）。")
                    .arg(shownPath, file.errorString()));
        throw PlatformError(
            QStringLiteral("PDFファイル「%1」を保存できませんでした（%2）。").arg(shownPath, file.errorString()));
    }
    // commit() renames the finished file over the old one; until then the old
    // file stays whole, and a failed write removes what was begun.
    bool written = true;
    while (written && !pdf.atEnd()) {
        const QByteArray part = pdf.read(kChunk);
        written = !part.isEmpty() && file.write(part) == part.size();
    }
    if (!written || !file.commit())
        throw PlatformError(
            QStringLiteral("PDFファイル「%1」を保存できませんでした（%2）。").arg(shownPath, file.errorString()));

    m_messages.show(
        QStringLiteral("チラシをPDFファイルに保存しました。\n%1").arg(shownPath), MB_Information, kMessageTitle);
}
