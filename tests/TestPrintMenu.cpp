// The menu of 印刷: the preview and the PDF the agent names show and hold the
// page that 印刷 prints, register as 印刷 does, and fail without harm.
#include "tests/support/AppFixture.h"
#include "tests/support/FaultSupport.h"
#include "tests/support/TestDatabase.h"

#include "model/PropertyRecord.h"
#include "platform/Fonts.h"
#include "platform/print/QtPdfPrinter.h"
#include "platform/print/QtPrintPreview.h"
#include "screens/F_Tyukai.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kLocation = QStringLiteral("東京都世田谷区/桜丘3-12");
const QString kSaved = QStringLiteral("チラシをPDFファイルに保存しました。\n%1");

void fillScreen(F_Tyukai& screen)
{
    screen.setBoxText(kKakakuIndex, QStringLiteral("2980万"));
    screen.setBoxText(kSyozaiIndex, kLocation);
    screen.setBoxText(kNoFudousanIndex, QStringLiteral("No.7"));
    screen.setBoxText(kNameTextIndex, QStringLiteral("桜丘不動産"));
    QImage map(300, 200, QImage::Format_RGB32);
    map.fill(QColor(40, 120, 200));
    screen.setPicture(map);
}

// Every word on the page with its box, in points, as pdftotext -bbox gives it.
QStringList wordBoxes(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), { QStringLiteral("-bbox"), pdf, QStringLiteral("-") });
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    static const QRegularExpression word(QStringLiteral("<word [^>]*>[^<]*</word>"));
    QStringList words;
    auto it = word.globalMatch(QString::fromUtf8(process.readAllStandardOutput()));
    while (it.hasNext())
        words << it.next().captured();
    return words;
}

QString pageSize(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), { pdf });
    process.waitForFinished(30000);
    static const QRegularExpression size(QStringLiteral("Page size:\\s*([^\\n]*)"));
    return size.match(QString::fromUtf8(process.readAllStandardOutput())).captured(1);
}

} // namespace

class TestPrintMenu : public QObject
{
    Q_OBJECT

private:
    struct Fixture : ScreenFixture
    {
        explicit Fixture(const QString& folder)
            : ScreenFixture(folder)
        {
            store.Open_Database();
        }
    };

    static QPushButton* printButton(QWidget& screen)
    {
        return screen.findChild<QPushButton*>(QStringLiteral("Command1_0"));
    }
    static QMenu* printMenu(QWidget& screen) { return screen.findChild<QMenu*>(QStringLiteral("PrintMenu")); }

    // Runs `testFunction` of this executable again as user nobody.
    static void runAsNobody(const QString& testFunction)
    {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("running as root without setpriv: cannot run the test as an unprivileged user");
        // A copy where user nobody may run it.
        QTemporaryDir programs;
        const QString self = QDir(programs.path()).filePath(QStringLiteral("TestPrintMenu"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), self));
        QVERIFY(QFile::setPermissions(programs.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                | QFileDevice::ExeOther));
        QProcess test;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), QDir::tempPath());
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        test.setProcessEnvironment(env);
        test.setProcessChannelMode(QProcess::MergedChannels);
        test.start(setpriv,
            { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"), self,
                testFunction });
        QVERIFY(test.waitForFinished(60000));
        const QString output = QString::fromUtf8(test.readAll());
        QVERIFY2(test.exitStatus() == QProcess::NormalExit && test.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("Totals: 3 passed, 0 failed")), qPrintable(output));
    }

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void rightClickAndMenuKeyOpenTheMenu()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QMenu* menu = printMenu(screen);
        QVERIFY(menu);
        QStringList items;
        for (const QAction* action : menu->actions())
            items << action->text();
        QCOMPARE(items,
            (QStringList { QStringLiteral("印刷プレビュー"), QStringLiteral("PDFとして保存…"),
                QStringLiteral("プリンターの設定…") }));

        QPushButton* print = printButton(screen);
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(10, 10), print->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(print, &rightClick);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();

        // The context-menu key reaches the focused control as this event
        // (the offscreen platform does not turn the key into it).
        print->setFocus();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), print->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(QApplication::focusWidget(), &menuKey);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->pos(), print->mapToGlobal(print->rect().bottomLeft()));
        menu->hide();

        // Opening the menu printed, registered and asked nothing.
        QVERIFY(f.printers.documents.isEmpty());
        QVERIFY(f.preview.pages.isEmpty());
        QVERIFY(f.saveDialog.asked.isEmpty());
        QCOMPARE(db.rowCount(), 0);
    }

    // The preview draws exactly what 印刷 draws, registers nothing, and is
    // shown also where the printer's paper would refuse the page.
    void previewShowsThePrintedPageAndRegistersNothing()
    {
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        fillScreen(screen);
        screen.Command1_Click(0);
        QCOMPARE(f.printers.documents.size(), 1);
        QCOMPARE(db.rowCount(), 1);
        db.exec(QStringLiteral("DELETE FROM Fudousan"));
        f.messages.shown.clear();
        const int noticeSteps = f.events.count;

        f.printers.paper = 9; // A4: 印刷 would refuse
        printMenu(screen)->actions().at(0)->trigger();
        QCOMPARE(f.preview.pages.size(), 1);
        QCOMPARE(f.preview.pages.first(), f.printers.documents.first());
        QCOMPARE(db.rowCount(), 0);
        QVERIFY(f.messages.shown.isEmpty());
        QCOMPARE(f.events.count, noticeSteps); // no 印刷中 notice

        // Nor does it need a location.
        screen.setBoxText(kSyozaiIndex, QString());
        screen.PrintMenu_Click(0);
        QCOMPARE(f.preview.pages.size(), 2);
        QVERIFY(f.messages.shown.isEmpty());
    }

    void saveAsPdfRegistersAsPrintDoes_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("empty location") << QString() << false << false;
        QTest::newRow("new location") << kLocation << false << false;
        QTest::newRow("stored location") << kLocation << true << false;
        QTest::newRow("dialog cancelled") << kLocation << false << true;
    }

    void saveAsPdfRegistersAsPrintDoes()
    {
        QFETCH(QString, location);
        QFETCH(bool, stored);
        QFETCH(bool, cancel);
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        fillScreen(screen);
        screen.setBoxText(kSyozaiIndex, location);
        if (stored) {
            PropertyRecord record;
            record[kSyozaiIndex] = location;
            db.insert(record);
        }
        const QString path = QDir(m_dir.path()).filePath(QString::fromLatin1(QTest::currentDataTag()) + ".pdf");
        f.saveDialog.answers << (cancel ? QString() : path);
        if (stored) { // and a file of that name, which the dialog has let go
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an older flyer");
        }

        screen.PrintMenu_Click(1);

        const int rowsBefore = stored ? 1 : 0;
        if (location.isEmpty() || cancel) {
            QCOMPARE(f.messages.shown.size(), location.isEmpty() ? 1 : 0);
            if (location.isEmpty()) {
                QCOMPARE(f.messages.shown.first().text, QStringLiteral("所在は必ず入力して下さい。"));
                QVERIFY(f.saveDialog.asked.isEmpty());
            }
            QVERIFY(!QFile::exists(path));
            QCOMPARE(db.rowCount(), rowsBefore);
            QCOMPARE(f.events.count, 0);
            return;
        }

        // Asked in the documents folder, under the no-printer PDF's name.
        QCOMPARE(f.saveDialog.asked.size(), 1);
        QCOMPARE(f.saveDialog.asked.first().suggestedPath,
            QDir(db.folder()).filePath(QStringLiteral("Documents/No.7_東京都世田谷区_桜丘3-12.pdf")));
        QCOMPARE(f.saveDialog.asked.first().suffix, QStringLiteral("pdf"));
        QCOMPARE(db.rowCount(), rowsBefore + (stored ? 0 : 1));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().startsWith("%PDF"));
        QVERIFY(!f.messages.shown.isEmpty());
        QCOMPARE(f.messages.shown.last().text, kSaved.arg(path));
        QCOMPARE(f.messages.shown.last().style, int(MB_Information));
        QVERIFY(f.events.count >= 2); // the notice shown and hidden
        QVERIFY(f.printers.documents.isEmpty());
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        QCOMPARE(QDir(m_dir.path()).entryList({ tag + '*' }, QDir::Files | QDir::Hidden), QStringList { tag + ".pdf" });
    }

    void saveWhereNoFileCanBeWritten_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder is a file") << false << QStringLiteral("がありません");
        QTest::newRow("read-only folder") << true << QStringLiteral("書き込めません");
    }

    // A folder that cannot take the file: a message naming it and why, the
    // property registered once however often the agent tries, nothing left
    // behind. Root may write anywhere, so as root the read-only case runs
    // this test again as user nobody.
    void saveWhereNoFileCanBeWritten()
    {
        QFETCH(bool, readOnly);
        QFETCH(QString, reason);
        if (readOnly && ::geteuid() == 0) {
            runAsNobody(QStringLiteral("saveWhereNoFileCanBeWritten:read-only folder"));
            return;
        }
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        fillScreen(screen);
        QTemporaryDir folder;
        const QString blocker = folder.filePath(QStringLiteral("not-a-folder"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString path
            = readOnly ? folder.filePath(QStringLiteral("flyer.pdf")) : blocker + QStringLiteral("/flyer.pdf");
        if (readOnly)
            QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        f.saveDialog.answers << path << path;

        screen.PrintMenu_Click(1);
        screen.PrintMenu_Click(1);

        QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(f.messages.shown.size(), 3); // registered, failed, failed
        for (int i = 1; i < 3; ++i) {
            const auto& failure = f.messages.shown.at(i);
            QVERIFY2(failure.text.contains(path) && failure.text.contains(reason), qPrintable(failure.text));
            QCOMPARE(failure.style, int(MB_Critical));
        }
        QCOMPARE(
            QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("not-a-folder") });
        QVERIFY(!screen.findChild<QWidget*>(QStringLiteral("SSPanel"))->isVisible());
    }

    // A link in place of the chosen name is replaced by the file; what it
    // points to, inside or outside the folder, is never written.
    void saveOverALinkReplacesTheLink_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("link to a file elsewhere") << false;
        QTest::newRow("link to nowhere") << true;
    }

    void saveOverALinkReplacesTheLink()
    {
        QFETCH(bool, dangling);
        TestDatabase db;
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        fillScreen(screen);
        QTemporaryDir shown;
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(QStringLiteral("someone-elses.pdf"));
        if (!dangling) {
            QFile other(target);
            QVERIFY(other.open(QIODevice::WriteOnly) && other.write("not yours") == 9);
        }
        const QString path = shown.filePath(QStringLiteral("flyer.pdf"));
        QVERIFY(QFile::link(target, path));
        f.saveDialog.answers << path;

        screen.PrintMenu_Click(1);

        QCOMPARE(f.messages.shown.last().text, kSaved.arg(path));
        QVERIFY(!QFileInfo(path).isSymLink());
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly) && written.readAll().startsWith("%PDF"));
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
            dangling ? QStringList() : QStringList { QStringLiteral("someone-elses.pdf") });
        if (!dangling)
            QCOMPARE(fileBytes(target), QByteArray("not yours"));
        QCOMPARE(QDir(shown.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("flyer.pdf") });
    }

    // The disk refuses the new PDF half-way (a file-size limit stands in for
    // a full disk): the one it was to replace stays whole, nothing is left
    // beside it, and the message says so.
    void aSaveCutOffHalfWayLeavesTheOldPdfWhole()
    {
        TestDatabase db;
        PropertyRecord stored; // registered already: the save writes only the PDF
        stored[kSyozaiIndex] = kLocation;
        db.insert(stored);
        Fixture f(db.folder());
        F_Tyukai screen(f.services());
        fillScreen(screen);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("flyer.pdf"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(20000, 'o')) == 20000);
        old.close();
        f.saveDialog.answers << path;

        rlimit limit;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_DFL);
        });
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = limit;
        small.rlim_cur = 8192;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        screen.PrintMenu_Click(1);
        ::setrlimit(RLIMIT_FSIZE, &limit);

        QCOMPARE(fileBytes(path), QByteArray(20000, 'o'));
        QCOMPARE(
            QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("flyer.pdf") });
        QCOMPARE(f.messages.shown.size(), 1);
        QVERIFY2(f.messages.shown.first().text.contains(path)
                && f.messages.shown.first().text.contains(QStringLiteral("保存できませんでした")),
            qPrintable(f.messages.shown.first().text));
        QCOMPARE(db.rowCount(), 1);
    }

    // The saved PDF is the page of the no-printer PDF that 印刷 writes: the
    // same paper and every word at the same place.
    void savedPdfIsThePrintedPage()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("poppler-utils (pdftotext, pdfinfo) not installed");
        TestDatabase db;
        Fixture f(db.folder());
        const QString printed = QDir(m_dir.path()).filePath(QStringLiteral("printed"));
        PdfPrinterSource printers(f.messages, printed);
        ScreenServices services = f.services();
        F_Tyukai screen(ScreenServices { services.store, services.messages, services.fileDialog, services.pictures,
            services.events, services.environment, printers, services.inputMethod, services.preview,
            services.saveDialog, services.pdfFiles });
        fillScreen(screen);
        screen.Command1_Click(0);
        const QString saved = QDir(m_dir.path()).filePath(QStringLiteral("saved.pdf"));
        f.saveDialog.answers << saved;
        screen.PrintMenu_Click(1);

        const QStringList pdfs = QDir(printed).entryList({ QStringLiteral("*.pdf") }, QDir::Files);
        QCOMPARE(pdfs.size(), 1);
        const QString printedPdf = QDir(printed).filePath(pdfs.first());
        QCOMPARE(pageSize(saved), pageSize(printedPdf));
        QCOMPARE(pageSize(saved), QStringLiteral("1032 x 729 pts")); // JIS B4 landscape
        const QStringList words = wordBoxes(saved);
        QVERIFY(words.size() > 30);
        QVERIFY(words.join(QString()).contains(QStringLiteral("桜丘不動産")));
        QCOMPARE(words, wordBoxes(printedPdf));
    }

    // Qt's preview window: the one JIS B4 landscape page, fit and zoom, and
    // nothing in it that prints.
    void previewWindowShowsOneB4LandscapePage()
    {
        QtPrintPreview preview;
        const std::unique_ptr<Printer> page = preview.openPreview();
        QCOMPARE(page->paperSize(), 12);
        page->setPaperSize(12);
        page->setOrientation(2);
        page->setFontName(kFontMincho);
        page->setFontSize(29);
        page->setCurrentPosition(3250, 1400);
        page->printText(QStringLiteral("売り土地"));

        bool inspected = false;
        QTimer::singleShot(0, [&] {
            QWidget* window = QApplication::activeModalWidget();
            QVERIFY(window);
            const auto closeWindow = qScopeGuard([window] { window->close(); });
            QCOMPARE(window->windowTitle(), QStringLiteral("印刷プレビュー"));
            auto* view = window->findChild<QPrintPreviewWidget*>();
            QVERIFY(view);
            QTRY_COMPARE(view->pageCount(), 1);
            QCOMPARE(view->orientation(), QPageLayout::Landscape);
            QPageSize size;
            connect(view, &QPrintPreviewWidget::paintRequested, window,
                [&](QPrinter* printer) { size = printer->pageLayout().pageSize(); });
            view->updatePreview();
            QCOMPARE(size.id(), QPageSize::JisB4);

            QStringList tools;
            for (const QAction* action : window->findChild<QToolBar*>()->actions())
                tools << action->text();
            QVERIFY2(!tools.join(' ').contains(QStringLiteral("印刷")) && !tools.join(' ').contains("Print"),
                qPrintable(tools.join(' ')));
            QCOMPARE(view->zoomMode(), QPrintPreviewWidget::FitInView);
            const double fitted = view->zoomFactor();
            window->findChild<QToolBar*>()->actions().at(tools.indexOf(QStringLiteral("拡大")))->trigger();
            QVERIFY(view->zoomFactor() > fitted);
            window->findChild<QToolBar*>()->actions().at(tools.indexOf(QStringLiteral("ページ全体")))->trigger();
            QCOMPARE(view->zoomMode(), QPrintPreviewWidget::FitInView);
            inspected = true;
        });
        page->endDocument();
        QVERIFY(inspected);
    }
};

QTEST_MAIN(TestPrintMenu)
#include "TestPrintMenu.moc"
