#include "platform/print/QtPdfPrinter.h"

#include "platform/MessageBox.h"
#include "platform/PlatformError.h"
#include "platform/print/PdfFileWriting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kMaxNameLength = 70; // UTF-16 units; leaves room for " (n).pdf" within 255 bytes
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
        const char16_t u = c.unicode();
        // Controls, and the overrides that would show the name in another
        // order than it is stored (a location could make "fdp.exe" look like
        // "exe.pdf").
        const bool control
            = u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
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
    m_writtenPath = writeNewFile(renderPdf());
    m_messages.show(QStringLiteral("プリンターがないため、チラシをPDFファイルに保存しました。\n%1")
                        .arg(QDir::toNativeSeparators(m_writtenPath)),
        MB_Information, kMessageTitle);
}

QString QtPdfPrinter::writeNewFile(QIODevice& pdf) const
{
    QDir folder(m_folder);
    if (!folder.mkpath(QStringLiteral(".")))
        throw PlatformError(
            QStringLiteral("フォルダー「%1」を作れませんでした。").arg(QDir::toNativeSeparators(m_folder)));

    const QString base = safeFileName(documentName());
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const QString fileName
            = copy == 1 ? base + QStringLiteral(".pdf") : QStringLiteral("%1 (%2).pdf").arg(base).arg(copy);
        const QString path = folder.absoluteFilePath(fileName);
        QFile file(path);
        // NewOnly: another file of the same name, even one made a moment
        // ago or a link to nowhere, is never replaced or written through.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QFileInfo taken(path);
            if (taken.exists() || taken.isSymLink())
                continue;
            throw PlatformError(QStringLiteral("PDFファイル「%1」を作れませんでした（%2）。")
                                    .arg(QDir::toNativeSeparators(path), file.errorString()));
        }
        const int error = print_files::writeAll(file.handle(), pdf);
        file.close();
        if (error != 0) {
            file.remove();
            throw PlatformError(QStringLiteral("PDFファイル「%1」を書けませんでした（%2）。")
                                    .arg(QDir::toNativeSeparators(path), print_files::describeWriteError(error)));
        }
        return path;
    }
    throw PlatformError(QStringLiteral("フォルダー「%1」に同じ名前のPDFファイルが多すぎます。")
                            .arg(QDir::toNativeSeparators(m_folder)));
}
