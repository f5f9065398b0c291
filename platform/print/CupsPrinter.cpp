#include "platform/print/CupsPrinter.h"

#include "platform/MessageBox.h"
#include "platform/PlatformError.h"
#include "platform/print/CupsConnection.h"
#include "platform/print/PaperSizes.h"

#include <QRegularExpression>

#include <algorithm>

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

QList<CupsConnection::Paper> CupsPrinter::jisB4Papers(const QList<CupsConnection::Paper>& papers)
{
    QList<CupsConnection::Paper> plain;
    QList<CupsConnection::Paper> others;
    for (const CupsConnection::Paper& paper : papers) {
        if (!isJisB4Millimetres(paper.millimetres))
            continue;
        const bool isPlain = paper.pageSize == QLatin1String("B4") || paper.pageSize == QLatin1String("JISB4")
            || (paper.pageSize.isEmpty() && paper.media == QLatin1String("jis_b4_257x364mm"));
        (isPlain ? plain : others).append(paper);
    }
    return plain + others;
}

QString CupsPrinter::paperId(const CupsConnection::Paper& paper)
{
    return paper.pageSize.isEmpty() ? paper.media : paper.pageSize;
}

QString CupsPrinter::paperName(const QList<CupsConnection::Paper>& papers, const QString& media)
{
    if (media.isEmpty())
        return QStringLiteral("不明");
    for (const CupsConnection::Paper& paper : papers) {
        if (paper.pageSize == media)
            return paper.name;
    }
    for (const CupsConnection::Paper& paper : papers) {
        if (paper.media == media)
            return paper.name;
    }
    const QPageSize size = pageSizeOfMedia(media);
    return size.isValid() && size.id() != QPageSize::Custom ? size.name() : media;
}

CupsPrinter::CupsPrinter(
    std::unique_ptr<CupsConnection> connection, const QString& queue, MessageBox& messages, const PrinterChoice& choice)
    : m_connection(std::move(connection))
    , m_queue(queue)
    , m_messages(messages)
    , m_choice(choice)
{
}

CupsPrinter::~CupsPrinter() = default;

int CupsPrinter::paperSize()
{
    m_note.clear();
    const QList<CupsConnection::Paper> papers = m_connection->papers(m_queue);
    const QList<CupsConnection::Paper> b4 = jisB4Papers(papers);
    if (m_choice.queue == m_queue && !m_choice.paper.isEmpty()) {
        for (const CupsConnection::Paper& paper : b4) {
            if (paperId(paper) == m_choice.paper) {
                m_paper = paper;
                return kPaperJisB4;
            }
        }
        // A paper the queue no longer offers: its default paper applies.
    }

    const QString media = m_connection->queueState(m_queue).defaultMedia;
    QPageSize size = pageSizeOfMedia(media);
    const auto named
        = [&media](const CupsConnection::Paper& paper) { return paper.pageSize == media || paper.media == media; };
    if (!size.isValid() && !media.isEmpty()) {
        // A vendor's own name ("JISB4"): its PPD tells the size.
        for (const CupsConnection::Paper& paper : papers) {
            if (named(paper)) {
                size = QPageSize(paper.millimetres, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
                break;
            }
        }
    }
    const int code = windowsPaperCode(size);
    if (code == kPaperJisB4) {
        // The job asks for it by the queue's own name.
        const auto own = std::find_if(b4.cbegin(), b4.cend(), named);
        m_paper = own != b4.cend() ? *own : b4.value(0);
        return code;
    }
    const QString name = paperName(papers, media);
    m_note = b4.isEmpty()
        ? QStringLiteral("プリンター「%1」の用紙は%2で、B4（JIS）の用紙がありません。「プリンターの設定…」でB4を使える"
                         "プリンターを選べます。")
              .arg(m_queue, name)
        : QStringLiteral("プリンター「%1」の用紙は%2です。「プリンターの設定…」でB4の用紙を選べます。")
              .arg(m_queue, name);
    return code;
}

void CupsPrinter::printPage()
{
    QIODevice& pdf = renderPdf();
    // Asked just before sending: a queue refusing jobs would drop the flyer,
    // a stopped one would hold it without a word.
    const CupsConnection::QueueState state = m_connection->queueState(m_queue);
    if (!state.accepting)
        throw PlatformError(
            QStringLiteral("プリンター「%1」は印刷を受け付けていません。チラシは印刷されませんでした。\n理由: %2")
                .arg(m_queue, reasonText(state.reason)));
    CupsConnection::JobOptions options;
    options.media = m_paper.media.isEmpty() ? mediaName(pageLayout().pageSize()) : m_paper.media;
    options.pageSize = m_paper.pageSize;
    options.copies = std::clamp(m_choice.copies, PrinterChoice::kMinCopies, PrinterChoice::kMaxCopies);
    options.landscape = pageLayout().orientation() == QPageLayout::Landscape;
    m_connection->submitPdf(m_queue, documentName(), pdf, options);
    if (state.stopped)
        m_messages.show(QStringLiteral("プリンター「%1」は停止しています。チラシは印刷待ちの列に入り、"
                                       "プリンターが再開されると印刷されます。\n理由: %2")
                            .arg(m_queue, reasonText(state.reason)),
            MB_Information, kMessageTitle);
}
