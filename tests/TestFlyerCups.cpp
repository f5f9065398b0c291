// The flyer printed end to end on a CUPS queue that writes PDF files. Runs
// only through tests/cups/run_cups_flyer_test.sh, which starts a private
// cupsd with the queue and passes its particulars in the environment.
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "platform/print/CupsPrinter.h"
#include "platform/print/QtPrinterSource.h"
#include "screens/FailureBoundary.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/FlyerSample.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

int jobCount(const QString& queue)
{
    return run("lpstat", { "-W", "all", "-o", queue }).split('\n', Qt::SkipEmptyParts).size();
}

bool pendingJobs(const QString& queue)
{
    return !run("lpstat", { "-o", queue }).trimmed().isEmpty();
}

// Runs an administration command (cupsreject, kill ...) as the user that
// runs cupsd.
void admin(const QString& program, const QStringList& args)
{
    QStringList command = qEnvironmentVariable("FLYER_AS_ROOT").split(' ', Qt::SkipEmptyParts);
    command << "env"
            << "CUPS_SERVER=" + qEnvironmentVariable("CUPS_SERVER") << program << args;
    QProcess::execute(command.takeFirst(), command);
}

// The sample flyer printed as the entry screen's 印刷 prints it: a printer
// from the source, the page, failures shown by the handler boundary.
void printSample(RecordingMessageBox& messages)
{
    SampleEntryView screen;
    screen.fillWithSample();
    QtPrinterSource source(messages);
    runHandler(messages, [&] {
        const std::unique_ptr<Printer> printer = source.openPrinter();
        Print_Flyer(*printer, screen, messages);
    });
}

void setQueuePaper(const QString& queue, const QString& paper)
{
    QProcess::execute("lpadmin", { "-p", queue, "-o", "PageSize-default=" + paper });
}

// Width and height in points of every page of `pdf`.
QList<QSizeF> pageSizes(const QString& pdf)
{
    QList<QSizeF> sizes;
    static const QRegularExpression size("Page\\s+\\d+ size:\\s+([\\d.]+) x ([\\d.]+) pts");
    auto it = size.globalMatch(run("pdfinfo", { "-f", "1", "-l", "100", pdf }));
    while (it.hasNext()) {
        const auto m = it.next();
        sizes.append(QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()));
    }
    return sizes;
}

// JIS B4 is 728.5 x 1031.8 points; drivers round it (cups-pdf: 727 x 1029).
bool isJisB4(QSizeF size)
{
    const double shortSide = std::min(size.width(), size.height());
    const double longSide = std::max(size.width(), size.height());
    return qAbs(shortSide - 728.5) < 3 && qAbs(longSide - 1031.8) < 4;
}

} // namespace

class TestFlyerCups : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsOneJisB4Page();
    void refusesWhenTheQueueHoldsA4();
    void aRejectingQueueRefusesWithItsReason();
    void aJobTheServerWillNotCreateIsReportedWithItsReason();
    void aStoppedQueueKeepsTheFlyerAndSaysWhy();
    void aServerThatStopsAnsweringGivesAMessage();

private:
    QString m_queue;
    QString m_out;
    QString m_spool;
};

void TestFlyerCups::initTestCase()
{
    m_queue = qEnvironmentVariable("FLYER_CUPS_QUEUE");
    m_out = qEnvironmentVariable("FLYER_CUPS_OUT");
    m_spool = qEnvironmentVariable("FLYER_CUPS_SPOOL");
    if (m_queue.isEmpty())
        QSKIP("needs the private CUPS server of tests/cups/run_cups_flyer_test.sh");
}

void TestFlyerCups::printsOneJisB4Page()
{
    SampleEntryView screen;
    screen.fillWithSample();
    QImage map(480, 360, QImage::Format_RGB32);
    map.fill(Qt::darkCyan);
    screen.setPicture(map);
    RecordingMessageBox messages;
    QtPrinterSource source(messages);
    const std::unique_ptr<Printer> printer = source.openPrinter();
    QVERIFY2(dynamic_cast<CupsPrinter*>(printer.get()), "the default queue is not used");
    QCOMPARE(printer->paperSize(), 12);

    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    const int jobsBefore = jobCount(m_queue);
    Print_Flyer(*printer, screen, messages);
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(jobCount(m_queue), jobsBefore + 1);

    // What the back end handed to CUPS: one JIS B4 landscape page of text.
    QDir spool(m_spool);
    const QStringList documents = spool.entryList({ "d*" }, QDir::Files, QDir::Time);
    QVERIFY2(!documents.isEmpty(), "no document in the spool");
    const QString sent = spool.filePath(documents.first());
    const QList<QSizeF> sentPages = pageSizes(sent);
    QCOMPARE(sentPages.size(), 1);
    QVERIFY(isJisB4(sentPages[0]));
    QVERIFY(sentPages[0].width() > sentPages[0].height());
    QVERIFY(run("pdftotext", { sent, "-" }).contains("売り土地"));

    // What came out of the queue.
    QElapsedTimer waited;
    waited.start();
    while (pendingJobs(m_queue) && waited.elapsed() < 30000)
        QTest::qWait(250);
    QVERIFY2(!pendingJobs(m_queue), "the job did not finish within 30 seconds");
    QFileInfoList made;
    while (waited.elapsed() < 40000) {
        made.clear();
        for (const QFileInfo& file : QDir(m_out).entryInfoList({ "*.pdf" }, QDir::Files)) {
            if (file.lastModified() >= started)
                made.append(file);
        }
        if (!made.isEmpty())
            break;
        QTest::qWait(250);
    }
    QCOMPARE(made.size(), 1);
    const QList<QSizeF> pages = pageSizes(made.first().filePath());
    for (const QFileInfo& file : made)
        QFile::remove(file.filePath());
    QCOMPARE(pages.size(), 1);
    QVERIFY2(isJisB4(pages[0]), qPrintable(QString("%1 x %2 pt").arg(pages[0].width()).arg(pages[0].height())));
}

void TestFlyerCups::refusesWhenTheQueueHoldsA4()
{
    setQueuePaper(m_queue, "A4");
    const auto restore = qScopeGuard([&] { setQueuePaper(m_queue, "JISB4"); });
    SampleEntryView screen;
    screen.fillWithSample();
    RecordingMessageBox messages;
    QtPrinterSource source(messages);
    const std::unique_ptr<Printer> printer = source.openPrinter();
    QCOMPARE(printer->paperSize(), 9);

    const int jobsBefore = jobCount(m_queue);
    Print_Flyer(*printer, screen, messages);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QString("接続されているプリンターでは、印刷出来ません。"));
    QCOMPARE(messages.shown[0].style, 16);
    QCOMPARE(messages.shown[0].title, QString("Mirandel"));
    QTest::qWait(500);
    QCOMPARE(jobCount(m_queue), jobsBefore);
}

void TestFlyerCups::aRejectingQueueRefusesWithItsReason()
{
    admin("cupsreject", { "-r", "トナー交換中", m_queue });
    const auto restore = qScopeGuard([&] { admin("cupsaccept", { m_queue }); });
    const int jobsBefore = jobCount(m_queue);
    RecordingMessageBox messages;
    printSample(messages);
    QCOMPARE(messages.shown.size(), 1); // no success of any kind
    const QString text = messages.shown[0].text;
    QCOMPARE(messages.shown[0].style, 16);
    QCOMPARE(messages.shown[0].title, QString("Zabrelo"));
    QVERIFY2(text.contains(m_queue) && text.contains("トナー交換中") && text.contains("受け付けていません"),
        qPrintable(text));
    QCOMPARE(jobCount(m_queue), jobsBefore);
}

// The queue is there and accepting, yet the server refuses to create the
// job: the message names the printer and gives CUPS's reason, no success of
// any kind is shown, and nothing is queued.
void TestFlyerCups::aJobTheServerWillNotCreateIsReportedWithItsReason()
{
    admin("lpadmin", { "-p", m_queue, "-o", "printer-op-policy=nojobs" });
    const auto restore = qScopeGuard([&] { admin("lpadmin", { "-p", m_queue, "-o", "printer-op-policy=default" }); });
    const int jobsBefore = jobCount(m_queue);
    RecordingMessageBox messages;
    printSample(messages);
    QCOMPARE(messages.shown.size(), 1);
    const QString text = messages.shown[0].text;
    QCOMPARE(messages.shown[0].style, 16);
    QVERIFY2(text.contains(m_queue) && text.contains("送れませんでした"), qPrintable(text));
    QVERIFY2(text.contains("Forbidden", Qt::CaseInsensitive), qPrintable(text)); // CUPS's own reason
    QCOMPARE(jobCount(m_queue), jobsBefore);
}

void TestFlyerCups::aStoppedQueueKeepsTheFlyerAndSaysWhy()
{
    admin("cupsdisable", { "-r", "用紙補給のため停止", m_queue });
    const auto restore = qScopeGuard([&] {
        admin("cancel", { "-a", m_queue });
        admin("cupsenable", { m_queue });
    });
    const int jobsBefore = jobCount(m_queue);
    RecordingMessageBox messages;
    printSample(messages);
    QCOMPARE(messages.shown.size(), 1);
    const QString text = messages.shown[0].text;
    QCOMPARE(messages.shown[0].style, 64);
    QCOMPARE(messages.shown[0].title, QString("Zabrelo"));
    QVERIFY2(
        text.contains(m_queue) && text.contains("用紙補給のため停止") && text.contains("印刷待ち"), qPrintable(text));
    QCOMPARE(jobCount(m_queue), jobsBefore + 1);
    QVERIFY(pendingJobs(m_queue));
}

// cupsd stopped with SIGSTOP takes connections and never answers: printing
// gives up with a message instead of holding the window for minutes.
void TestFlyerCups::aServerThatStopsAnsweringGivesAMessage()
{
    const QString pid = qEnvironmentVariable("FLYER_CUPSD_PID");
    if (pid.isEmpty())
        QSKIP("the pid of the private cupsd is not known");
    admin("kill", { "-STOP", pid });
    auto resume = qScopeGuard([&] { admin("kill", { "-CONT", pid }); });
    QElapsedTimer took;
    took.start();
    RecordingMessageBox messages;
    printSample(messages);
    const qint64 ms = took.elapsed();
    resume.dismiss();
    admin("kill", { "-CONT", pid });
    qInfo("gave up after %lld ms", ms);
    QVERIFY2(ms < 30000, qPrintable(QString("held for %1 ms").arg(ms)));
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].style, 16);
    QVERIFY2(messages.shown[0].text.contains("応答しません"), qPrintable(messages.shown[0].text));
}

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    registerFontSubstitutions();
    TestFlyerCups test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFlyerCups.moc"
