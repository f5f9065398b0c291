#include "platform/print/CupsConnection.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QRegularExpression>
#include <QStringList>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <algorithm>
#include <unistd.h>

namespace {

// How often a wait for the server looks at the deadline.
constexpr double kPollSeconds = 0.25;
constexpr int kChunk = 64 * 1024;

QString serverName()
{
    const QString server = QString::fromLocal8Bit(cupsServer());
    return server.startsWith(QLatin1Char('/')) ? server : QStringLiteral("%1:%2").arg(server).arg(ippPort());
}

QByteArray printerUri(const QString& queue)
{
    char uri[1024];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
        queue.toUtf8().constData());
    return QByteArray(uri);
}

// The default queue and its options from lpoptions files, the user's last:
// "Default NAME key=value ..." or "Dest NAME key=value ...".
struct LpOptions
{
    QString defaultQueue;
    QHash<QString, QHash<QString, QString>> options; // queue -> key -> value
};

void readLpOptions(const QString& path, LpOptions& into)
{
    QFile file(path);
    // A regular file only: a pipe or device here must not block printing.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    while (!file.atEnd()) {
        const QStringList words = QString::fromUtf8(file.readLine(64 * 1024)).split(blanks, Qt::SkipEmptyParts);
        if (words.size() < 2 || words[1].contains(QLatin1Char('/'))) // instances are not printers of their own
            continue;
        const bool isDefault = words[0].compare(QLatin1String("Default"), Qt::CaseInsensitive) == 0;
        if (!isDefault && words[0].compare(QLatin1String("Dest"), Qt::CaseInsensitive) != 0)
            continue;
        if (isDefault)
            into.defaultQueue = words[1];
        for (const QString& option : words.mid(2)) {
            const int equals = option.indexOf(QLatin1Char('='));
            if (equals > 0)
                into.options[words[1]][option.left(equals)] = option.mid(equals + 1);
        }
    }
}

LpOptions lpOptions()
{
    LpOptions options;
    readLpOptions(QStringLiteral("/etc/cups/lpoptions"), options);
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        readLpOptions(QDir(home).filePath(QStringLiteral(".cups/lpoptions")), options);
    return options;
}

// The values of `attribute` as one text, ", " between them; empty for none.
QString valuesText(ipp_attribute_t* attribute)
{
    if (!attribute)
        return QString();
    QStringList values;
    for (int i = 0; i < ippGetCount(attribute); ++i) {
        const char* value = ippGetString(attribute, i, nullptr);
        if (value)
            values << QString::fromUtf8(value);
    }
    return values.join(QStringLiteral(", "));
}

QString attributeText(ipp_t* response, const char* name)
{
    return valuesText(ippFindAttribute(response, name, IPP_TAG_ZERO));
}

// One printer's attributes of a response, by name.
using Attributes = QHash<QByteArray, ipp_attribute_t*>;

QString text(const Attributes& attributes, const char* name)
{
    return valuesText(attributes.value(name));
}

// The printers of a response (Get-Printer-Attributes has one, CUPS-Get-Printers
// one per queue), each as its attributes.
QList<Attributes> printersOf(ipp_t* response)
{
    QList<Attributes> printers;
    ipp_tag_t group = IPP_TAG_ZERO;
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const ipp_tag_t tag = ippGetGroupTag(a);
        if (tag == IPP_TAG_PRINTER && (group != IPP_TAG_PRINTER || !ippGetName(a)))
            printers.append(Attributes());
        group = ippGetName(a) ? tag : IPP_TAG_ZERO; // a nameless attribute separates two printers
        if (tag == IPP_TAG_PRINTER && ippGetName(a))
            printers.last().insert(QByteArray(ippGetName(a)), a);
    }
    printers.removeIf([](const Attributes& printer) { return printer.isEmpty(); });
    return printers;
}

// The state attributes of queueState; the default paper from the queue alone.
const char* const kStateAttributes[]
    = { "printer-name", "printer-location", "printer-info", "printer-is-accepting-jobs", "printer-state",
          "printer-state-reasons", "printer-state-message", "media-default", "PageSize-default" };

CupsConnection::QueueState stateOf(const Attributes& printer)
{
    CupsConnection::QueueState state;
    ipp_attribute_t* accepting = printer.value("printer-is-accepting-jobs");
    state.accepting = !accepting || ippGetValueTag(accepting) != IPP_TAG_BOOLEAN || ippGetBoolean(accepting, 0);
    ipp_attribute_t* printerState = printer.value("printer-state");
    const int stateValue
        = printerState && ippGetValueTag(printerState) == IPP_TAG_ENUM ? ippGetInteger(printerState, 0) : 0;
    state.stopped = stateValue == IPP_PSTATE_STOPPED;
    state.printing = stateValue == IPP_PSTATE_PROCESSING;
    state.reason = text(printer, "printer-state-message").trimmed();
    if (state.reason.isEmpty()) {
        const QString reasons = text(printer, "printer-state-reasons");
        state.reason = reasons == QLatin1String("none") ? QString() : reasons;
    }
    state.defaultMedia = text(printer, "PageSize-default");
    if (state.defaultMedia.isEmpty())
        state.defaultMedia = text(printer, "media-default");
    return state;
}

// The size in millimetres that a media keyword names ("iso_a4_210x297mm",
// "custom_256.47x363.01mm_256.47x363.01mm"); invalid for another name.
QSizeF keywordMillimetres(const QString& keyword)
{
    pwg_media_t* media = pwgMediaForPWG(keyword.toUtf8().constData());
    return media ? QSizeF(media->width / 100.0, media->length / 100.0) : QSizeF();
}

// How a paper without a PPD text is named: the usual name of its size
// ("A4"), else the keyword itself.
QString keywordName(const QString& keyword)
{
    const QByteArray utf8 = keyword.toUtf8();
    pwg_media_t* media = pwgMediaForPWG(utf8.constData());
    if (media && media->ppd && qstrcmp(media->ppd, "B4") == 0)
        return QStringLiteral("B4 (JIS)");
    return media && media->ppd ? QString::fromUtf8(media->ppd) : keyword;
}

bool sameSize(QSizeF a, QSizeF b)
{
    constexpr double kToleranceMm = 0.6;
    return qAbs(a.width() - b.width()) <= kToleranceMm && qAbs(a.height() - b.height()) <= kToleranceMm;
}

// Nobody answers a password prompt here: libcups would otherwise ask on a
// terminal and wait for good.
const char* noPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

} // namespace

std::unique_ptr<CupsConnection> CupsConnection::open(int answerMs)
{
    cupsSetPasswordCB2(noPassword, nullptr);
    QElapsedTimer waited;
    waited.start();
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, answerMs, nullptr);
    if (!http) {
        // Refused or absent answers at once; a server that lets the
        // connection wait is there but not answering.
        if (waited.elapsed() >= answerMs * 9 / 10)
            throw PlatformError(QStringLiteral("印刷サーバー（CUPS、%1）が%2秒以内に応答しませんでした。")
                                    .arg(serverName())
                                    .arg(answerMs / 1000));
        return nullptr;
    }
    return std::unique_ptr<CupsConnection>(new CupsConnection(http, answerMs));
}

CupsConnection::CupsConnection(http_t* http, int answerMs)
    : m_http(http)
    , m_answerMs(answerMs)
{
    httpSetTimeout(m_http, kPollSeconds, &CupsConnection::stillWaiting, this);
}

CupsConnection::~CupsConnection()
{
    httpClose(m_http);
}

int CupsConnection::stillWaiting(http_t*, void* connection)
{
    return static_cast<CupsConnection*>(connection)->m_deadline.hasExpired() ? 0 : 1;
}

void CupsConnection::startStep()
{
    m_deadline.setRemainingTime(m_answerMs);
}

void CupsConnection::fail(const QString& what) const
{
    if (m_deadline.hasExpired())
        throw PlatformError(QStringLiteral("%1\n印刷サーバー（CUPS、%2）が%3秒以内に応答しませんでした。")
                                .arg(what, serverName())
                                .arg(m_answerMs / 1000));
    throw PlatformError(QStringLiteral("%1\n%2").arg(what, QString::fromUtf8(cupsLastErrorString())));
}

QString CupsConnection::chosenQueue()
{
    startStep();
    const LpOptions options = lpOptions();
    QString queue;
    for (const char* variable : { "LPDEST", "PRINTER" }) {
        if (queue.isEmpty())
            queue = qEnvironmentVariable(variable).section(QLatin1Char('/'), 0, 0);
    }
    if (queue.isEmpty())
        queue = options.defaultQueue;

    if (queue.isEmpty()) {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
        ipp_t* response = cupsDoRequest(m_http, request, "/");
        const bool answered = response || cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
        queue = attributeText(response, "printer-name");
        ippDelete(response);
        if (!answered)
            fail(QStringLiteral("既定のプリンターを調べられませんでした。"));
    }
    if (queue.isEmpty()) {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
        ipp_t* response = cupsDoRequest(m_http, request, "/");
        if (!response && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
            fail(QStringLiteral("プリンターの一覧を得られませんでした。"));
        QStringList names;
        for (ipp_attribute_t* a = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); a;
             a = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME))
            names << QString::fromUtf8(ippGetString(a, 0, nullptr));
        ippDelete(response);
        names.sort(Qt::CaseInsensitive);
        if (!names.isEmpty())
            queue = names.first();
    }

    const QHash<QString, QString> own = options.options.value(queue);
    m_userMediaQueue = queue;
    m_userMedia = own.value(QStringLiteral("media"), own.value(QStringLiteral("PageSize")));
    return queue;
}

CupsConnection::QueueState CupsConnection::queueState(const QString& queue)
{
    startStep();
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(queue).constData());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(kStateAttributes)),
        nullptr, kStateAttributes);
    ipp_t* response = cupsDoRequest(m_http, request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        ippDelete(response);
        fail(QStringLiteral("プリンター「%1」の状態を調べられませんでした。").arg(queue));
    }
    const QList<Attributes> printers = printersOf(response);
    QueueState state = stateOf(printers.value(0));
    ippDelete(response);
    if (queue == m_userMediaQueue && !m_userMedia.isEmpty())
        state.defaultMedia = m_userMedia;
    return state;
}

QList<CupsConnection::Queue> CupsConnection::queues()
{
    startStep();
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(kStateAttributes)),
        nullptr, kStateAttributes);
    ipp_t* response = cupsDoRequest(m_http, request, "/");
    if (!response && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
        fail(QStringLiteral("プリンターの一覧を得られませんでした。"));
    QList<Queue> queues;
    for (const Attributes& printer : printersOf(response)) {
        Queue queue;
        queue.name = text(printer, "printer-name");
        // An instance ("Name/copies") is no queue of its own.
        if (queue.name.isEmpty() || queue.name.contains(QLatin1Char('/')))
            continue;
        queue.location = text(printer, "printer-location");
        queue.info = text(printer, "printer-info");
        queue.state = stateOf(printer);
        if (queue.name == m_userMediaQueue && !m_userMedia.isEmpty())
            queue.state.defaultMedia = m_userMedia;
        queues.append(queue);
    }
    ippDelete(response);
    std::sort(queues.begin(), queues.end(),
        [](const Queue& a, const Queue& b) { return a.name.compare(b.name, Qt::CaseInsensitive) < 0; });
    return queues;
}

bool CupsConnection::hasQueue(const QString& queue)
{
    startStep();
    static const char* const wanted[] = { "printer-name" };
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(queue).constData());
    ippAddStrings(
        request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)), nullptr, wanted);
    ipp_t* response = cupsDoRequest(m_http, request, "/");
    const ipp_status_t status = cupsLastError();
    ippDelete(response);
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        return false;
    if (!response || status > IPP_STATUS_OK_CONFLICTING)
        fail(QStringLiteral("プリンター「%1」を調べられませんでした。").arg(queue));
    return true;
}

QList<CupsConnection::Paper> CupsConnection::papers(const QString& queue)
{
    startStep();
    static const char* const wanted[] = { "media-supported" };
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(queue).constData());
    ippAddStrings(
        request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)), nullptr, wanted);
    ipp_t* response = cupsDoRequest(m_http, request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        ippDelete(response);
        fail(QStringLiteral("プリンター「%1」の用紙を調べられませんでした。").arg(queue));
    }
    QList<Paper> keywords;
    if (ipp_attribute_t* media = ippFindAttribute(response, "media-supported", IPP_TAG_ZERO)) {
        for (int i = 0; i < ippGetCount(media); ++i) {
            const char* keyword = ippGetString(media, i, nullptr);
            Paper paper;
            paper.media = QString::fromUtf8(keyword ? keyword : "");
            paper.millimetres = keywordMillimetres(paper.media);
            paper.name = keywordName(paper.media);
            if (paper.millimetres.isValid())
                keywords.append(paper);
        }
    }
    ippDelete(response);

    const QList<PpdSize> sizes = ppdSizes(queue);
    if (sizes.isEmpty())
        return keywords;
    // The PPD knows the sizes by its own names and texts; the job names its
    // choice, which a queue whose default is another size would otherwise
    // override.
    QList<Paper> papers;
    for (const PpdSize& size : sizes) {
        Paper paper;
        paper.pageSize = size.name;
        paper.name = size.text.isEmpty() ? size.name : size.text;
        paper.millimetres = size.points * 25.4 / 72;
        for (const Paper& keyword : keywords) {
            if (sameSize(keyword.millimetres, paper.millimetres)) {
                paper.media = keyword.media;
                break;
            }
        }
        papers.append(paper);
    }
    return papers;
}

// A queue's default page size is a choice of its PPD, and only the PPD knows
// what a vendor's paper name measures; libcups marks its PPD calls deprecated
// but has nothing else for this.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
QList<CupsConnection::PpdSize> CupsConnection::ppdSizes(const QString& queue)
{
    startStep();
    char file[1024] = "";
    time_t modified = 0;
    if (cupsGetPPD3(m_http, queue.toUtf8().constData(), &modified, file, sizeof file) != HTTP_STATUS_OK) {
        if (m_deadline.hasExpired())
            fail(QStringLiteral("プリンター「%1」の用紙を調べられませんでした。").arg(queue));
        return {};
    }
    QList<PpdSize> sizes;
    if (ppd_file_t* ppd = ppdOpenFile(file)) {
        // Texts are UTF-8: libcups converts them from the PPD's encoding.
        if (ppd_option_t* option = ppdFindOption(ppd, "PageSize")) {
            for (int i = 0; i < option->num_choices; ++i) {
                const ppd_choice_t& choice = option->choices[i];
                if (ppd_size_t* size = ppdPageSize(ppd, choice.choice))
                    sizes.append({ QString::fromUtf8(choice.choice), QString::fromUtf8(choice.text).trimmed(),
                        QSizeF(size->width, size->length) });
            }
        }
        ppdClose(ppd);
    }
    // A temporary copy, or a link to the server's own file: ours to remove.
    ::unlink(file);
    return sizes;
}

#pragma GCC diagnostic pop

int CupsConnection::submitPdf(const QString& queue, const QString& title, QIODevice& pdf, const JobOptions& options)
{
    startStep();
    const QByteArray name = queue.toUtf8();
    const QByteArray titleBytes = title.toUtf8();
    cups_option_t* asked = nullptr;
    int count = 0;
    if (!options.media.isEmpty())
        count = cupsAddOption("media", options.media.toUtf8().constData(), count, &asked);
    if (!options.pageSize.isEmpty())
        count = cupsAddOption("PageSize", options.pageSize.toUtf8().constData(), count, &asked);
    count = cupsAddIntegerOption("copies", std::max(1, options.copies), count, &asked);
    if (options.landscape)
        count = cupsAddOption("orientation-requested", "4", count, &asked); // landscape
    const int job = cupsCreateJob(m_http, name.constData(), titleBytes.constData(), count, asked);
    cupsFreeOptions(count, asked);
    if (job <= 0)
        fail(QStringLiteral("プリンター「%1」に印刷を送れませんでした。").arg(queue));

    bool sent = cupsStartDocument(m_http, name.constData(), job, titleBytes.constData(), CUPS_FORMAT_PDF, 1)
        == HTTP_STATUS_CONTINUE;
    while (sent && !pdf.atEnd()) {
        // Each part restarts the time limit: a long document may take longer
        // than one limit in all, but never waits that long for one answer.
        m_deadline.setRemainingTime(m_answerMs);
        const QByteArray part = pdf.read(kChunk);
        sent = !part.isEmpty()
            && cupsWriteRequestData(m_http, part.constData(), size_t(part.size())) == HTTP_STATUS_CONTINUE;
    }
    if (sent) {
        m_deadline.setRemainingTime(m_answerMs);
        sent = cupsFinishDocument(m_http, name.constData()) <= IPP_STATUS_OK_CONFLICTING;
    }
    if (!sent) {
        const QString error = QString::fromUtf8(cupsLastErrorString());
        const bool late = m_deadline.hasExpired();
        // A job left without its document would wait on the server.
        m_deadline.setRemainingTime(late ? 0 : m_answerMs);
        cupsCancelJob2(m_http, name.constData(), job, 0);
        if (late)
            fail(QStringLiteral("プリンター「%1」に印刷を送れませんでした。").arg(queue));
        throw PlatformError(QStringLiteral("プリンター「%1」に印刷を送れませんでした。\n%2").arg(queue, error));
    }
    return job;
}
