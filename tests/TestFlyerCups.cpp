// The flyer printed end to end on a CUPS queue that writes PDF files. Runs
// only through tests/cups/run_cups_flyer_test.sh, which starts a private
// cupsd with the queue and passes its particulars in the environment.
#include "flyer/Flyer.h"
#include "model/PropertyRecord.h"
#include "platform/Fonts.h"
#include "platform/grid/QtGrid.h"
#include "platform/print/CupsPrinter.h"
#include "platform/print/CupsPrinterSetup.h"
#include "platform/print/QtPrinterSource.h"
#include "screens/F_Itiran.h"
#include "screens/F_PrinterSetup.h"
#include "screens/F_Tyukai.h"
#include "screens/FailureBoundary.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/AppFixture.h"
#include "tests/support/FlyerSample.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cups/cups.h>

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
void printSample(RecordingMessageBox& messages, PrinterSource& source)
{
    SampleEntryView screen;
    screen.fillWithSample();
    runHandler(messages, [&] {
        const std::unique_ptr<Printer> printer = source.openPrinter();
        Print_Flyer(*printer, screen, messages);
    });
}

void printSample(RecordingMessageBox& messages)
{
    QtPrinterSource source(messages);
    printSample(messages, source);
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

// What the server keeps of a queue's newest job, read with libcups.
struct Job
{
    int id = 0;
    QString title;
    QString media;
    QString pageSize;
    int copies = 0;
    int orientation = 0;
};

Job newestJob(const QString& queue)
{
    http_t* http
        = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
    if (!http)
        return {};
    char uri[1024];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
        queue.toUtf8().constData());
    static const char* const wanted[]
        = { "job-id", "job-name", "media", "PageSize", "copies", "orientation-requested" };
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    // The job's name is told its owner only.
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddStrings(
        request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)), nullptr, wanted);
    ipp_t* response = cupsDoRequest(http, request, "/");
    Job newest;
    Job job;
    const auto keep = [&] {
        if (job.id > newest.id)
            newest = job;
        job = Job();
    };
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char* name = ippGetName(a);
        if (!name) {
            keep();
            continue;
        }
        const QByteArray key(name);
        if (key == "job-id")
            job.id = ippGetInteger(a, 0);
        else if (key == "job-name")
            job.title = QString::fromUtf8(ippGetString(a, 0, nullptr));
        else if (key == "media")
            job.media = QString::fromUtf8(ippGetString(a, 0, nullptr));
        else if (key == "PageSize")
            job.pageSize = QString::fromUtf8(ippGetString(a, 0, nullptr));
        else if (key == "copies")
            job.copies = ippGetInteger(a, 0);
        else if (key == "orientation-requested")
            job.orientation = ippGetInteger(a, 0);
    }
    keep();
    ippDelete(response);
    httpClose(http);
    return newest;
}

// The size that a media keyword names ("…_256.47x363.01mm"), in millimetres.
QSizeF keywordSize(const QString& media)
{
    static const QRegularExpression size("([0-9.]+)x([0-9.]+)mm$");
    const auto m = size.match(media);
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

// A user's default printer for the test's span (LPDEST).
class DefaultPrinter
{
public:
    explicit DefaultPrinter(const QString& queue) { qputenv("LPDEST", queue.toUtf8()); }
    ~DefaultPrinter() { qunsetenv("LPDEST"); }
};

// Where the test keeps what a person may want to look at.
QString artifact(const QString& name)
{
    const QString folder = QStringLiteral(FUDOUSAN_BIN_DIR "/../artifacts/cups");
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

// The entry screen's services on the test's database, with the real printer
// of the program (its choice in a settings file of the test's own).
struct ProgramFixture : ScreenFixture
{
    explicit ProgramFixture(const QString& folder)
        : ScreenFixture(folder)
        , setup(QDir(folder).filePath("config/Printer.ini"))
        , source(messages, &setup)
    {
        openOrDie();
    }
    ScreenServices programServices()
    {
        ScreenServices services { store, messages, fileDialog, pictures, events, environment, source, inputMethod,
            preview, saveDialog, pdfFiles };
        services.printerSetup = &setup;
        return services;
    }
    CupsPrinterSetup setup;
    QtPrinterSource source;
};

// The document CUPS received for job `id`.
QString spooledDocument(const QString& spool, int id)
{
    return QDir(spool).filePath(QStringLiteral("d%1-001").arg(id, 5, 10, QLatin1Char('0')));
}

QString pageText(const QString& pdf, int page)
{
    return run("pdftotext", { "-f", QString::number(page), "-l", QString::number(page), pdf, "-" });
}

// Selects grid lines `rows` (0-based) as Ctrl+click does.
void selectLines(QtGrid& grid, const QList<int>& rows)
{
    grid.selectionModel()->clearSelection();
    for (int row : rows)
        grid.selectionModel()->select(
            grid.model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QTreeWidgetItem* queueItem(QTreeWidget* queues, const QString& name)
{
    for (int i = 0; i < queues->topLevelItemCount(); ++i) {
        if (queues->topLevelItem(i)->data(0, Qt::UserRole + 1).toString() == name)
            return queues->topLevelItem(i);
    }
    return nullptr;
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
    void anA4OfficePrinterPrintsB4OnceChosen();
    void aChosenPrinterThatIsGoneIsNamed();
    void threeSelectedLinesAreOneJobOfThreePages();
    void aQueueThatRejectsJobsMidBatchIsNamed();

private:
    // The PDF files cups-pdf wrote since `started`, once they are there.
    QFileInfoList waitForOutput(const QDateTime& started, const QString& queue);

    QString m_queue;
    QString m_office;
    QString m_a4only;
    QString m_out;
    QString m_spool;
};

void TestFlyerCups::initTestCase()
{
    m_queue = qEnvironmentVariable("FLYER_CUPS_QUEUE");
    m_out = qEnvironmentVariable("FLYER_CUPS_OUT");
    m_spool = qEnvironmentVariable("FLYER_CUPS_SPOOL");
    m_office = qEnvironmentVariable("FLYER_CUPS_OFFICE_QUEUE");
    m_a4only = qEnvironmentVariable("FLYER_CUPS_A4ONLY_QUEUE");
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
    const QFileInfoList made = waitForOutput(started, m_queue);
    QCOMPARE(made.size(), 1);
    const QList<QSizeF> pages = pageSizes(made.first().filePath());
    for (const QFileInfo& file : made)
        QFile::remove(file.filePath());
    QCOMPARE(pages.size(), 1);
    QVERIFY2(isJisB4(pages[0]), qPrintable(QString("%1 x %2 pt").arg(pages[0].width()).arg(pages[0].height())));
}

QFileInfoList TestFlyerCups::waitForOutput(const QDateTime& started, const QString& queue)
{
    QElapsedTimer waited;
    waited.start();
    while (pendingJobs(queue) && waited.elapsed() < 30000)
        QTest::qWait(250);
    if (pendingJobs(queue))
        qWarning("the job did not finish within 30 seconds");
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
    return made;
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
    QCOMPARE(messages.shown[0].text,
        QString("接続されているプリンターでは、印刷出来ません。\nプリンター「%1」の用紙はA4です。"
                "「プリンターの設定…」でB4の用紙を選べます。")
            .arg(m_queue));
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

// The agent's default printer is an office printer with A4 as its default
// paper. On the entry screen, 印刷 says why it cannot print and where to
// choose; in 「プリンターの設定」 (印刷's menu) the agent chooses its B4 (JIS)
// paper and 3 copies; 印刷 then prints on them.
void TestFlyerCups::anA4OfficePrinterPrintsB4OnceChosen()
{
    const DefaultPrinter officeDefault(m_office);
    TestDatabase db;
    ProgramFixture f(db.folder());
    F_Tyukai screen(f.programServices());
    SampleEntryView sample;
    sample.fillWithSample();
    for (int i = 0; i < kBoxCount; ++i)
        screen.setBoxText(i, sample.boxText(i));

    int jobsBefore = jobCount(m_office);
    screen.Command1_Click(0); // 印刷
    QCOMPARE(f.messages.shown.size(), 2); // registered, then refused
    QCOMPARE(f.messages.shown[1].text,
        QString("接続されているプリンターでは、印刷出来ません。\nプリンター「%1」の用紙はA4です。"
                "「プリンターの設定…」でB4の用紙を選べます。")
            .arg(m_office));
    QCOMPARE(jobCount(m_office), jobsBefore);
    f.messages.shown.clear();

    bool chosen = false;
    whenModal<F_PrinterSetup>([&](F_PrinterSetup* window) {
        // Closed also when a check fails half way.
        const auto closeAtLast = qScopeGuard([&] {
            if (!chosen)
                window->reject();
        });
        QCOMPARE(window->windowTitle(), QString("プリンターの設定"));
        auto* queues = window->findChild<QTreeWidget*>("Queues");
        auto* paper = window->findChild<QComboBox*>("Paper");
        auto* copies = window->findChild<QSpinBox*>("Copies");
        auto* ok = window->findChild<QPushButton*>("OK");
        QTreeWidgetItem* office = queueItem(queues, m_office);
        QTreeWidgetItem* a4only = queueItem(queues, m_a4only);
        QVERIFY(office && a4only && queueItem(queues, m_queue));
        QCOMPARE(queues->currentItem(), office); // the user's default
        QCOMPARE(office->text(1), QString("2階 事務室"));
        QCOMPARE(office->text(2), QString("あり"));
        QCOMPARE(office->text(3), QString("待機中"));
        QCOMPARE(paper->itemText(0), QString("B4 (JIS)")); // the PPD's own name
        QCOMPARE(paper->itemData(0).toString(), QString("JISB4"));

        // The queue without B4 is shown as such and cannot be chosen.
        QCOMPARE(a4only->text(2), QString("なし"));
        queues->setCurrentItem(a4only);
        QVERIFY(!ok->isEnabled());
        QCOMPARE(paper->count(), 0);
        QVERIFY(window->findChild<QLabel*>("Note")->text().contains("B4（JIS）の用紙がない"));
        window->grab().save(artifact("printer-setup-a4only.png"));

        queues->setCurrentItem(office);
        QVERIFY(ok->isEnabled());
        copies->setValue(3);
        window->grab().save(artifact("printer-setup.png"));
        ok->click();
        chosen = true;
    });
    screen.PrintMenu_Click(2); // プリンターの設定…
    QVERIFY(chosen);
    QVERIFY(f.messages.shown.isEmpty());
    QCOMPARE(F_PrinterSetup(f.setup, f.messages).windowTitle(),
        QString("プリンターの設定 ― %1、B4 (JIS)、3部").arg(m_office));

    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    jobsBefore = jobCount(m_office);
    screen.Command1_Click(0); // 印刷
    QVERIFY2(f.messages.shown.isEmpty(), qPrintable(f.messages.shown.value(0).text));
    QCOMPARE(jobCount(m_office), jobsBefore + 1);
    const Job job = newestJob(m_office);
    QCOMPARE(job.pageSize, QString("JISB4"));
    QVERIFY2(isJisB4(keywordSize(job.media) * 72 / 25.4), qPrintable(job.media));
    QCOMPARE(job.copies, 3);
    QCOMPARE(job.orientation, 4); // landscape
    QCOMPARE(db.rowCount(), 1);

    const QFileInfoList made = waitForOutput(started, m_office);
    QCOMPARE(made.size(), 1);
    const QList<QSizeF> pages = pageSizes(made.first().filePath());
    for (const QFileInfo& file : made)
        QFile::remove(file.filePath());
    QVERIFY(!pages.isEmpty());
    QVERIFY2(isJisB4(pages[0]), qPrintable(QString("%1 x %2 pt").arg(pages[0].width()).arg(pages[0].height())));
}

// A chosen printer that the server no longer has is named; the flyer never
// goes to another printer instead.
void TestFlyerCups::aChosenPrinterThatIsGoneIsNamed()
{
    QTemporaryDir folder;
    CupsPrinterSetup setup(QDir(folder.path()).filePath("Printer.ini"));
    setup.setChoice({ "Shitsumu2F", "JISB4", "B4 (JIS)", 2 });
    RecordingMessageBox messages;
    QtPrinterSource source(messages, &setup);
    const int jobsBefore = jobCount(m_queue);
    printSample(messages, source);
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.shown[0].text.contains("「Shitsumu2F」が印刷サーバーにありません")
            && messages.shown[0].text.contains("「プリンターの設定…」"),
        qPrintable(messages.shown[0].text));
    QCOMPARE(jobCount(m_queue), jobsBefore);
}

// Three selected lines of the list: one job of three pages, each page the
// flyer of its line's property, in list order.
void TestFlyerCups::threeSelectedLinesAreOneJobOfThreePages()
{
    TestDatabase db;
    for (const char* tag : { "1", "2", "3", "4" })
        db.insert(TestDatabase::distinctRecord(tag));
    ProgramFixture f(db.folder());
    F_Itiran list(f.programServices());
    list.Form_Load();
    selectLines(list.grid(), { 3, 0, 2 });

    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    const int jobsBefore = jobCount(m_queue);
    list.PrintSelectedFlyers();
    QCOMPARE(f.messages.shown.size(), 1);
    QCOMPARE(f.messages.shown[0].text, QString("チラシを3枚印刷しました。"));
    QCOMPARE(jobCount(m_queue), jobsBefore + 1);
    const Job job = newestJob(m_queue);
    QCOMPARE(job.title, QString("No_Fudousan-1_Syozai-1_3件"));

    const QString sent = spooledDocument(m_spool, job.id);
    QFile::remove(artifact("three-lines.pdf"));
    QFile::copy(sent, artifact("three-lines.pdf"));
    QCOMPARE(pageSizes(sent).size(), 3);
    const QString tags[] = { "1", "3", "4" };
    for (int page = 1; page <= 3; ++page) {
        const QString text = pageText(sent, page);
        QVERIFY2(text.contains("Syozai-" + tags[page - 1]) && text.contains("Kakaku-" + tags[page - 1]),
            qPrintable(QString("page %1: %2").arg(page).arg(text.left(200))));
        for (const QString& other : tags) {
            if (other != tags[page - 1])
                QVERIFY2(
                    !text.contains("Syozai-" + other), qPrintable(QString("page %1 holds %2").arg(page).arg(other)));
        }
    }
    QCOMPARE(db.rowCount(), 4); // nothing registered

    // What came out of the queue: three JIS B4 pages.
    const QFileInfoList made = waitForOutput(started, m_queue);
    QCOMPARE(made.size(), 1);
    const QList<QSizeF> pages = pageSizes(made.first().filePath());
    for (const QFileInfo& file : made)
        QFile::remove(file.filePath());
    QCOMPARE(pages.size(), 3);
    for (const QSizeF& page : pages)
        QVERIFY(isJisB4(page));
}

// A queue that stops taking jobs while the batch is being drawn: the batch
// names it and why, sends nothing, and nothing waits.
void TestFlyerCups::aQueueThatRejectsJobsMidBatchIsNamed()
{
    TestDatabase db;
    for (const char* tag : { "1", "2", "3", "4", "5" })
        db.insert(TestDatabase::distinctRecord(tag));
    ProgramFixture f(db.folder());
    F_Itiran list(f.programServices());
    list.Form_Load();
    selectLines(list.grid(), { 0, 1, 2, 3, 4 });
    const auto restore = qScopeGuard([&] { admin("cupsaccept", { m_queue }); });
    f.events.onProcess = [&] {
        if (f.events.count == 3)
            admin("cupsreject", { "-r", "用紙切れ", m_queue });
    };

    const int jobsBefore = jobCount(m_queue);
    QElapsedTimer took;
    took.start();
    list.PrintSelectedFlyers();
    QVERIFY2(took.elapsed() < 30000, qPrintable(QString("held for %1 ms").arg(took.elapsed())));
    QCOMPARE(f.messages.shown.size(), 1);
    const QString text = f.messages.shown[0].text;
    QCOMPARE(f.messages.shown[0].style, 16);
    QVERIFY2(
        text.contains(m_queue) && text.contains("用紙切れ") && text.contains("受け付けていません"), qPrintable(text));
    QCOMPARE(jobCount(m_queue), jobsBefore);
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    registerFontSubstitutions();
    TestFlyerCups test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFlyerCups.moc"
