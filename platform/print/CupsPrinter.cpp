#include "platform/print/CupsPrinter.h"

#include "platform/MessageBox.h"
#include "platform/PlatformError.h"
#include "platform/print/CupsConnection.h"
#include "platform/print/PaperSizes.h"

#include <QRegularExpression>

#include <cups/cups.h>

namespace {

QString mediaName(const QPageSize& size)
{
    const QSizeF mm = size.size(QPageSize::Millimeter);
    pwg_media_t* media = pwgMediaForSize(qRound(mm.width() * 100), qRound(mm.height() * 100));
    return media ? QString::fromUtf8(media->pwg) : QString();
}

QString reasonText(const QString& reason)
{
    return reason.isEmpty() ? QStringLiteral("理由は知らされていません") : reason;
}

} // namespace

QPageSize CupsPrinter::pageSizeOfMedia(const QString& media)
{
    static const QRegularExpression pwg(QStringLiteral("_([0-9.]+)x([0-9.]+)(mm|in)$"));
    const QRegularExpressionMatch m = pwg.match(media);
    if (m.hasMatch())
        return QPageSize(QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()),
            m.captured(3) == QLatin1String("mm") ? QPageSize::Millimeter : QPageSize::Inch, QString(),
            QPageSize::FuzzyMatch);
    const QByteArray utf8 = media.toUtf8();
    const char* name = utf8.constData();
    pwg_media_t* known = pwgMediaForPPD(name);
    if (!known)
        known = pwgMediaForLegacy(name);
    if (known)
        return QPageSize(QSizeF(known->width / 100.0, known->length / 100.0), QPageSize::Millimeter, QString(),
            QPageSize::FuzzyMatch);
    return QPageSize();
}

CupsPrinter::CupsPrinter(std::unique_ptr<CupsConnection> connection, const QString& queue, MessageBox& messages)
    : m_connection(std::move(connection))
    , m_queue(queue)
    , m_messages(messages)
{
}

CupsPrinter::~CupsPrinter() = default;

int CupsPrinter::paperSize()
{
    const QString media = m_connection->queueState(m_queue).defaultMedia;
    QPageSize size = pageSizeOfMedia(media);
    if (!size.isValid() && !media.isEmpty()) {
        // A vendor's own name ("JISB4"): its PPD tells the size.
        const QSizeF points = m_connection->ppdPaperPoints(m_queue, media);
        if (points.isValid())
            size = QPageSize(points, QPageSize::Point, QString(), QPageSize::FuzzyMatch);
    }
    return windowsPaperCode(size);
}

void CupsPrinter::printPage()
{
    const QByteArray pdf = renderPdf();
    // Asked just before sending: a queue refusing jobs would drop the flyer,
    // a stopped one would hold it without a word.
    const CupsConnection::QueueState state = m_connection->queueState(m_queue);
    if (!state.accepting)
        throw PlatformError(
            QStringLiteral("プリンター「%1」は印刷を受け付けていません。チラシは印刷されませんでした。\n理由: %2")
                .arg(m_queue, reasonText(state.reason)));
    m_connection->submitPdf(m_queue, documentName(), pdf, mediaName(pageLayout().pageSize()));
    if (state.stopped)
        m_messages.show(QStringLiteral("プリンター「%1」は停止しています。チラシは印刷待ちの列に入り、"
                                       "プリンターが再開されると印刷されます。\n理由: %2")
                            .arg(m_queue, reasonText(state.reason)),
            MB_Information, kMessageTitle);
}
