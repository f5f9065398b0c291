// 「プリンターの設定」: the window over a print server's queues, what it lets
// the agent choose, and the choice kept in the user's settings file from one
// run to the next.
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include "platform/Fonts.h"
#include "platform/PlatformError.h"
#include "platform/print/CupsPrinterSetup.h"
#include "screens/F_PrinterSetup.h"
#include "screens/F_Tyukai.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

namespace {

// An office's printers: the default one with A4 as its paper and two B4
// papers, a counter printer without B4, a stopped one.
QList<PrintQueueInfo> officeQueues()
{
    PrintQueueInfo jimu;
    jimu.name = QStringLiteral("Jimu");
    jimu.location = QStringLiteral("2階 事務室");
    jimu.isDefault = true;
    jimu.defaultPaper = QStringLiteral("A4");
    jimu.b4Papers = { { QStringLiteral("B4"), QStringLiteral("B4 (JIS)") },
        { QStringLiteral("B4.Fullbleed"), QStringLiteral("B4 (JIS) ふちなし") } };
    PrintQueueInfo counter;
    counter.name = QStringLiteral("Uketsuke");
    counter.location = QStringLiteral("受付");
    counter.defaultPaper = QStringLiteral("A4");
    PrintQueueInfo stopped;
    stopped.name = QStringLiteral("Eigyo");
    stopped.state = PrintQueueInfo::State::Stopped;
    stopped.reason = QStringLiteral("用紙切れ");
    stopped.b4Papers = { { QStringLiteral("jis_b4_257x364mm"), QStringLiteral("B4 (JIS)") } };
    return { stopped, jimu, counter };
}

struct Window
{
    explicit Window(FakePrinterSetup& setup, RecordingMessageBox& messages)
        : window(setup, messages)
        , queues(window.findChild<QTreeWidget*>(QStringLiteral("Queues")))
        , paper(window.findChild<QComboBox*>(QStringLiteral("Paper")))
        , copies(window.findChild<QSpinBox*>(QStringLiteral("Copies")))
        , note(window.findChild<QLabel*>(QStringLiteral("Note")))
        , ok(window.findChild<QPushButton*>(QStringLiteral("OK")))
    {
    }
    QTreeWidgetItem* item(const QString& name) const
    {
        for (int i = 0; i < queues->topLevelItemCount(); ++i) {
            if (queues->topLevelItem(i)->data(0, Qt::UserRole + 1).toString() == name)
                return queues->topLevelItem(i);
        }
        return nullptr;
    }
    QStringList papers() const
    {
        QStringList names;
        for (int i = 0; i < paper->count(); ++i)
            names << paper->itemText(i);
        return names;
    }

    F_PrinterSetup window;
    QTreeWidget* queues;
    QComboBox* paper;
    QSpinBox* copies;
    QLabel* note;
    QPushButton* ok;
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestPrinterSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void listsTheQueuesAndOnlyThoseWithB4CanBeChosen()
    {
        FakePrinterSetup setup;
        setup.queueList = officeQueues();
        RecordingMessageBox messages;
        Window w(setup, messages);
        QCOMPARE(w.window.windowTitle(), QStringLiteral("プリンターの設定"));
        QCOMPARE(w.queues->topLevelItemCount(), 3);
        QTreeWidgetItem* jimu = w.item(QStringLiteral("Jimu"));
        QCOMPARE(w.queues->currentItem(), jimu); // none remembered: the default queue
        QCOMPARE(jimu->text(0), QStringLiteral("Jimu（既定）"));
        QCOMPARE(jimu->text(1), QStringLiteral("2階 事務室"));
        QCOMPARE(jimu->text(2), QStringLiteral("あり"));
        QCOMPARE(jimu->text(3), QStringLiteral("待機中"));
        QCOMPARE(w.papers(), (QStringList { QStringLiteral("B4 (JIS)"), QStringLiteral("B4 (JIS) ふちなし") }));
        QVERIFY(w.ok->isEnabled());
        QVERIFY(w.note->isHidden());
        QCOMPARE(w.item(QStringLiteral("Eigyo"))->text(3), QStringLiteral("停止中（用紙切れ）"));

        QTreeWidgetItem* counter = w.item(QStringLiteral("Uketsuke"));
        QCOMPARE(counter->text(2), QStringLiteral("なし"));
        w.queues->setCurrentItem(counter);
        QVERIFY(!w.ok->isEnabled());
        QVERIFY(!w.paper->isEnabled());
        QCOMPARE(w.paper->count(), 0);
        QVERIFY(!w.note->isHidden());
        QCOMPARE(w.note->text(),
            QStringLiteral("このプリンターにはB4（JIS）の用紙がないため、チラシの印刷には使えません。"));
        w.window.OK_Click(); // Enter with the button disabled chooses nothing
        QCOMPARE(setup.saved, 0);
        QVERIFY(messages.shown.isEmpty());
    }

    void theChoiceIsRememberedAndShownNextTime()
    {
        FakePrinterSetup setup;
        setup.queueList = officeQueues();
        RecordingMessageBox messages;
        {
            Window w(setup, messages);
            w.paper->setCurrentIndex(1);
            w.copies->setValue(3);
            QTest::mouseClick(w.ok, Qt::LeftButton);
            QCOMPARE(w.window.result(), int(QDialog::Accepted));
        }
        QCOMPARE(setup.saved, 1);
        QCOMPARE(setup.remembered.queue, QStringLiteral("Jimu"));
        QCOMPARE(setup.remembered.paper, QStringLiteral("B4.Fullbleed"));
        QCOMPARE(setup.remembered.paperName, QStringLiteral("B4 (JIS) ふちなし"));
        QCOMPARE(setup.remembered.copies, 3);

        // The default changes; the window opens on what was chosen.
        setup.queueList[1].isDefault = false;
        setup.queueList[0].isDefault = true;
        Window w(setup, messages);
        QCOMPARE(w.window.windowTitle(), QStringLiteral("プリンターの設定 ― Jimu、B4 (JIS) ふちなし、3部"));
        QCOMPARE(w.queues->currentItem(), w.item(QStringLiteral("Jimu")));
        QCOMPARE(w.paper->currentText(), QStringLiteral("B4 (JIS) ふちなし"));
        QCOMPARE(w.copies->value(), 3);
        QCOMPARE(w.copies->maximum(), 99);
        QCOMPARE(w.copies->minimum(), 1);
        // キャンセル keeps it.
        QTest::mouseClick(w.window.findChild<QPushButton*>(QStringLiteral("Cancel")), Qt::LeftButton);
        QCOMPARE(setup.saved, 1);
        QVERIFY(messages.shown.isEmpty());
    }

    void aChoiceThatCannotBeKeptIsShownAndTheWindowStays()
    {
        FakePrinterSetup setup;
        setup.queueList = officeQueues();
        setup.refuseChoice = true;
        RecordingMessageBox messages;
        Window w(setup, messages);
        w.window.show();
        w.ok->click();
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].style, int(MB_Critical));
        QVERIFY(messages.shown[0].text.contains(QStringLiteral("保存できませんでした")));
        QVERIFY(w.window.isVisible());
        QVERIFY(!setup.remembered.isChosen());
    }

    void aServerThatDoesNotAnswerOpensNoWindow()
    {
        FakePrinterSetup setup;
        setup.refuseQueues = true;
        RecordingMessageBox messages;
        F_PrinterSetup::openFromMenu(setup, messages, nullptr);
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY(messages.shown[0].text.contains(QStringLiteral("応答しません")));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void withoutQueuesTheWindowSaysWhereTheFlyerGoes()
    {
        FakePrinterSetup setup;
        RecordingMessageBox messages;
        Window w(setup, messages);
        QVERIFY(!w.ok->isEnabled());
        QVERIFY(w.note->text().contains(QStringLiteral("PDFファイル")));
    }

    // 印刷's menu opens the window; choosing registers and prints nothing.
    void theEntryScreensMenuOpensIt()
    {
        TestDatabase db;
        ScreenFixture f(db.folder());
        f.openOrDie();
        f.printerSetup.queueList = officeQueues();
        F_Tyukai screen(f.services());
        screen.setBoxText(kSyozaiIndex, QStringLiteral("港区芝公園"));
        QString title;
        whenModal<F_PrinterSetup>([&](F_PrinterSetup* window) {
            title = window->windowTitle();
            window->findChild<QPushButton*>(QStringLiteral("OK"))->click();
        });
        screen.findChild<QMenu*>(QStringLiteral("PrintMenu"))->actions().at(2)->trigger();
        QCOMPARE(title, QStringLiteral("プリンターの設定"));
        QCOMPARE(f.printerSetup.remembered.queue, QStringLiteral("Jimu"));
        QVERIFY(f.printers.documents.isEmpty());
        QCOMPARE(db.rowCount(), 0);
        QVERIFY(f.messages.shown.isEmpty());
    }

    // The settings file: kept from one run to the next; whatever else it
    // holds is no choice or is brought within range; a place that cannot be
    // written is named.
    void theSettingsFileKeepsTheChoiceAndNonsenseIsNoChoice()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("config/Quintaveli/Printer.ini"));
        QVERIFY(!CupsPrinterSetup(path).choice().isChosen()); // no file yet
        CupsPrinterSetup(path).setChoice(
            { QStringLiteral("事務室"), QStringLiteral("JISB4"), QStringLiteral("B4 (JIS)"), 3 });
        const PrinterChoice kept = CupsPrinterSetup(path).choice();
        QCOMPARE(kept.queue, QStringLiteral("事務室"));
        QCOMPARE(kept.paper, QStringLiteral("JISB4"));
        QCOMPARE(kept.paperName, QStringLiteral("B4 (JIS)"));
        QCOMPARE(kept.copies, 3);

        writeFile(path, "[Printer]\nQueue=Jimu\nPaper=B4\nCopies=500\n");
        QCOMPARE(CupsPrinterSetup(path).choice().copies, 99);
        writeFile(path, "[Printer]\nQueue=Jimu\nPaper=B4\nCopies=viele\n");
        QCOMPARE(CupsPrinterSetup(path).choice().copies, 1);
        writeFile(path, "[Printer]\nQueue=Jimu\nCopies=2\n");
        QVERIFY(!CupsPrinterSetup(path).choice().isChosen()); // no paper: no choice
        writeFile(path, QByteArray("\xff\xfe\x00garbage\n[[[", 14));
        QVERIFY(!CupsPrinterSetup(path).choice().isChosen());

        // A named pipe is never opened (it would wait for a writer).
        const QString pipe = QDir(dir.path()).filePath(QStringLiteral("pipe.ini"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QVERIFY(!CupsPrinterSetup(pipe).choice().isChosen());
        QVERIFY_THROWS_EXCEPTION(PlatformError, CupsPrinterSetup(pipe).setChoice({ "Jimu", "B4", "B4", 1 }));

        // A folder that cannot be made: a file stands in its place.
        writeFile(QDir(dir.path()).filePath(QStringLiteral("blocked")), "x");
        const QString blocked = QDir(dir.path()).filePath(QStringLiteral("blocked/Printer.ini"));
        try {
            CupsPrinterSetup(blocked).setChoice({ "Jimu", "B4", "B4", 1 });
            QFAIL("the choice was said to be kept");
        } catch (const PlatformError& error) {
            QVERIFY2(
                error.description().contains(QDir::toNativeSeparators(dir.path())), qPrintable(error.description()));
        }
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestPrinterSetup test;
    return QTest::qExec(&test, argc, argv);
}
#include "TestPrinterSetup.moc"
