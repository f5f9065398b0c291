// The Windows program's Access (Jet) Fudousan.mdb at start-up: the question,
// はい bringing the properties into the list, the entry screen and a flyer;
// いいえ and a failed conversion leaving the file alone.
#include "tests/support/AppFixture.h"
#include "tests/support/JetFixture.h"
#include "tests/support/TestDatabase.h"

#include "conversion/JetConversion.h"
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "platform/desktop/PosixFileSystem.h"
#include "platform/grid/QtGrid.h"
#include "platform/jet/MdbJetReader.h"
#include "platform/print/QtPdfPrinter.h"
#include "platform/sqlite/SqliteDatabaseBuilder.h"
#include "screens/F_Itiran.h"
#include "screens/F_Main.h"
#include "screens/F_Tyukai.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

struct StartUp : ScreenFixture
{
    explicit StartUp(const QString& folder)
        : ScreenFixture(folder)
    {
    }

    ScreenServices services()
    {
        ScreenServices s = ScreenFixture::services();
        s.jetConversion = &conversion;
        return s;
    }

    MdbJetReader reader;
    SqliteDatabaseBuilder builder;
    PosixFileSystem files;
    JetConversion conversion { reader, builder, files };
};

} // namespace

class TestJetStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void yesBringsThePropertiesIntoListEntryAndFlyer()
    {
        TestDatabase db(false);
        const QString jet = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), db.folder());
        const QByteArray hash = fileHash(jet);
        StartUp f(db.folder());
        f.messages.answerYes = true;
        F_Main menu(f.services());
        menu.start();

        QCOMPARE(f.messages.shown.size(), 2);
        const auto question = f.messages.shown.at(0);
        QCOMPARE(question.style, int(MB_Question));
        QCOMPARE(question.title, QStringLiteral("Zabrelo"));
        QVERIFY2(question.text.contains(jet) && question.text.contains(QStringLiteral("Access（Jet）"))
                && question.text.contains(QStringLiteral("残します")),
            qPrintable(question.text));
        const auto done = f.messages.shown.at(1);
        QCOMPARE(done.style, int(MB_Information));
        QCOMPARE(done.title, QStringLiteral("Zabrelo"));
        for (const QString& part : { QStringLiteral("12 件"), jet + QStringLiteral(".jet"), QStringLiteral("10 件"),
                 QStringLiteral("Madori") })
            QVERIFY2(done.text.contains(part), qPrintable(done.text));
        QCOMPARE(fileHash(jet + QStringLiteral(".jet")), hash);
        QVERIFY(f.store.connection().isOpen());

        // The list in the Jet table's order; 表示 of line 6 fills the boxes.
        const JetRows expected = expectedJetRows();
        QStringList listed;
        QStringList boxes;
        QString pdf;
        QTemporaryDir documents;
        whenModal<F_Itiran>([&](F_Itiran* list) {
            QtGrid& grid = list->grid();
            for (int r = 1; r < grid.rowCount(); ++r)
                listed << grid.cellText(r, 1);
            const QRect cell = grid.visualRect(grid.model()->index(5, 1));
            QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
            QTest::mouseClick(list->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        });
        whenModal<F_Tyukai>([&](F_Tyukai* entry) {
            for (int i = 0; i < kBoxCount; ++i)
                boxes << entry->findChild<QLineEdit*>(QStringLiteral("Tbox_%1").arg(i))->text();
            QtPdfPrinter printer(f.messages, documents.path());
            Print_Flyer(printer, *entry, f.messages);
            pdf = printer.writtenPath();
            QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("Command1_2")), Qt::LeftButton);
        });
        F_Itiran::openFromMenu(f.services());

        QStringList locations;
        for (const auto& row : expected)
            locations << *row[kSyozaiIndex];
        QCOMPARE(listed, locations);
        QCOMPARE(boxes.size(), kBoxCount);
        for (int i = 0; i < kBoxCount; ++i)
            QCOMPARE(boxes.at(i), expected[5][i].value_or(QString()));
        QVERIFY(boxes.at(kSyozaiIndex).contains(QStringLiteral("髙﨑")) && boxes.at(3).contains(QStringLiteral("㎡")));

        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("poppler-utils (pdftotext) not installed");
        QProcess extract;
        extract.start(QStringLiteral("pdftotext"), { pdf, QStringLiteral("-") });
        QVERIFY(extract.waitForFinished(30000));
        const QString text = QString::fromUtf8(extract.readAllStandardOutput());
        for (const QString& part :
            { QStringLiteral("髙﨑ビル①号館"), QStringLiteral("120.5㎡"), QStringLiteral("㈱髙﨑不動産") })
            QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" missing in: ") + text));
    }

    void noAndFailureLeaveTheFileAsItWas_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("said");
        QTest::newRow("いいえ") << QStringLiteral("fudousan-jet4-2000.mdb") << false
                                << QStringLiteral("そのままでは開けません");
        QTest::newRow("column missing") << QStringLiteral("fudousan-missing-column-jet4.mdb") << true
                                        << QStringLiteral("列 Madori");
        QTest::newRow("Jet 3 without Fudousan")
            << QStringLiteral("jet3-sample-testV1997.mdb") << true << QStringLiteral("表 Fudousan がありません");
    }

    void noAndFailureLeaveTheFileAsItWas()
    {
        QFETCH(QString, file);
        QFETCH(bool, yes);
        QFETCH(QString, said);
        TestDatabase db(false);
        const QString jet = copyJetFile(file, db.folder());
        const QByteArray hash = fileHash(jet);
        StartUp f(db.folder());
        f.messages.answerYes = yes;
        F_Main menu(f.services());
        menu.start();

        // The question, then one message naming the file and the reason.
        QCOMPARE(f.messages.shown.size(), 2);
        QCOMPARE(f.messages.shown.at(0).style, int(MB_Question));
        const auto reason = f.messages.shown.at(1);
        QCOMPARE(reason.style, int(MB_Critical));
        QCOMPARE(reason.title, QStringLiteral("Zabrelo"));
        QVERIFY2(reason.text.contains(said) && reason.text.contains(jet), qPrintable(reason.text));
        QCOMPARE(fileHash(jet), hash);
        QCOMPARE(folderEntries(db.folder()), QStringList { QStringLiteral("Fudousan.mdb") });
        QVERIFY(menu.isVisible());
    }
};

QTEST_MAIN(TestJetStartup)
#include "TestJetStartup.moc"
