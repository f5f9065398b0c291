#include "platform/QtPdfPrinter.h"

#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>

namespace {

constexpr int kPdfDotsPerInch = 1440; // one device unit per twip
constexpr int kMaxNameLength = 70;    // UTF-16 units; leaves room for " (n).pdf" within 255 bytes
constexpr int kMaxCopies = 9999;
const QString kUnnamed = QStringLiteral("チラシ");

} // namespace

QtPdfPrinter::QtPdfPrinter(MessageBox& messages, const QString& folder)
    : m_messages(messages)
    , m_folder(folder)
{
}

QString QtPdfPrinter::safeFileName(const QString& name)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7f;
        safe.append(control || forbidden.contains(c) ? QLatin1Char('_') : c);
    }
    if (safe.size() > kMaxNameLength) {
        int length = kMaxNameLength;
        if (safe.at(length - 1).isHighSurrogate())
            --length;
        safe.truncate(length);
    }
    // Trimmed after the cut, so that a shortened name ends in no blank or dot.
    const auto trimmable = [](QChar c) { return c.isSpace() || c == QLatin1Char('.'); };
    while (!safe.isEmpty() && trimmable(safe.front()))
        safe.remove(0, 1);
    while (!safe.isEmpty() && trimmable(safe.back()))
        safe.chop(1);
    return safe.isEmpty() ? kUnnamed : safe;
}

void QtPdfPrinter::printPage()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kPdfDotsPerInch);
        writer.setPageLayout(pageLayout());
        writer.setTitle(documentName());
        writer.setCreator(QStringLiteral("Fudousan"));
        QPainter painter;
        if (!painter.begin(&writer))
            throw PlatformError(QStringLiteral("PDFファイルを作れませんでした。"));
        paintPage(painter);
        if (!painter.end())
            throw PlatformError(QStringLiteral("PDFファイルを作れませんでした。"));
    }
    m_writtenPath = writeNewFile(buffer.data());
    m_messages.show(QStringLiteral("プリンターがないため、チラシをPDFファイルに保存しました。\n%1")
                        .arg(QDir::toNativeSeparators(m_writtenPath)),
                    MB_Information, kMessageTitle);
}

QString QtPdfPrinter::writeNewFile(const QByteArray& pdf) const
{
    QDir folder(m_folder);
    if (!folder.mkpath(QStringLiteral(".")))
        throw PlatformError(QStringLiteral("フォルダー「%1」を作れませんでした。").arg(QDir::toNativeSeparators(m_folder)));

    const QString base = safeFileName(documentName());
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const QString fileName = copy == 1 ? base + QStringLiteral(".pdf")
                                           : QStringLiteral("%1 (%2).pdf").arg(base).arg(copy);
        const QString path = folder.absoluteFilePath(fileName);
        QFile file(path);
        // NewOnly: another file of the same name, even one made a moment
        // ago, is never replaced.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path))
                continue;
            throw PlatformError(QStringLiteral("PDFファイル「%1」を作れませんでした（%2）。")
                                    .arg(QDir::toNativeSeparators(path), file.errorString()));
        }
        const bool written = file.write(pdf) == pdf.size() && file.flush();
        const QString error = file.errorString();
        file.close();
        if (!written || file.error() != QFileDevice::NoError) {
            file.remove();
            throw PlatformError(QStringLiteral("PDFファイル「%1」を書けませんでした（%2）。")
                                    .arg(QDir::toNativeSeparators(path), error));
        }
        return path;
    }
    throw PlatformError(QStringLiteral("フォルダー「%1」に同じ名前のPDFファイルが多すぎます。")
                            .arg(QDir::toNativeSeparators(m_folder)));
}
