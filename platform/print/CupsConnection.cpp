#include "platform/print/CupsConnection.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <cups/cups.h>
#include <cups/ppd.h>
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

QString attributeText(ipp_t* response, const char* name)
{
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
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
    static const char* const wanted[] = { "printer-is-accepting-jobs", "printer-state", "printer-state-reasons",
        "printer-state-message", "media-default", "PageSize-default" };
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri(queue).constData());
    ippAddStrings(
        request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)), nullptr, wanted);
    ipp_t* response = cupsDoRequest(m_http, request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        ippDelete(response);
        fail(QStringLiteral("プリンター「%1」の状態を調べられませんでした。").arg(queue));
    }
    QueueState state;
    ipp_attribute_t* accepting = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    state.accepting = !accepting || ippGetBoolean(accepting, 0);
    ipp_attribute_t* printerState = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    state.stopped = printerState && ippGetInteger(printerState, 0) == IPP_PSTATE_STOPPED;
    state.reason = attributeText(response, "printer-state-message").trimmed();
    if (state.reason.isEmpty()) {
        QString reasons = attributeText(response, "printer-state-reasons");
        state.reason = reasons == QLatin1String("none") ? QString() : reasons;
    }
    state.defaultMedia = queue == m_userMediaQueue ? m_userMedia : QString();
    if (state.defaultMedia.isEmpty())
        state.defaultMedia = attributeText(response, "PageSize-default");
    if (state.defaultMedia.isEmpty())
        state.defaultMedia = attributeText(response, "media-default");
    ippDelete(response);
    return state;
}

// A queue's default page size is a choice of its PPD, and only the PPD knows
// what a vendor's paper name measures; libcups marks its PPD calls deprecated
// but has nothing else for this.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
QSizeF CupsConnection::ppdPaperPoints(const QString& queue, const QString& name)
{
    startStep();
    char file[1024] = "";
    time_t modified = 0;
    if (cupsGetPPD3(m_http, queue.toUtf8().constData(), &modified, file, sizeof file) != HTTP_STATUS_OK) {
        if (m_deadline.hasExpired())
            fail(QStringLiteral("プリンター「%1」の用紙を調べられませんでした。").arg(queue));
        return QSizeF();
    }
    QSizeF points;
    if (ppd_file_t* ppd = ppdOpenFile(file)) {
        if (ppd_size_t* size = ppdPageSize(ppd, name.toUtf8().constData()))
            points = QSizeF(size->width, size->length);
        ppdClose(ppd);
    }
    // A temporary copy, or a link to the server's own file: ours to remove.
    ::unlink(file);
    return points;
}
#pragma GCC diagnostic pop

int CupsConnection::submitPdf(const QString& queue, const QString& title, const QByteArray& pdf, const QString& media)
{
    startStep();
    const QByteArray name = queue.toUtf8();
    const QByteArray titleBytes = title.toUtf8();
    cups_option_t* options = nullptr;
    int count = cupsAddOption("media", media.toUtf8().constData(), 0, &options);
    const int job = cupsCreateJob(m_http, name.constData(), titleBytes.constData(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0)
        fail(QStringLiteral("プリンター「%1」に印刷を送れませんでした。").arg(queue));

    bool sent = cupsStartDocument(m_http, name.constData(), job, titleBytes.constData(), CUPS_FORMAT_PDF, 1)
        == HTTP_STATUS_CONTINUE;
    for (qsizetype at = 0; sent && at < pdf.size(); at += kChunk)
        sent = cupsWriteRequestData(m_http, pdf.constData() + at, size_t(qMin<qsizetype>(kChunk, pdf.size() - at)))
            == HTTP_STATUS_CONTINUE;
    if (sent)
        sent = cupsFinishDocument(m_http, name.constData()) <= IPP_STATUS_OK_CONFLICTING;
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
