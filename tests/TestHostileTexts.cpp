// Texts an agent may type or paste into every box: quotes, SQL fragments, a
// megabyte, control characters, characters outside the BMP, combining marks.
// Each is saved through the store and read back exactly, from the file
// directly and through the store's own query, and is found by its location;
// then it goes through the screens: listed, shown again in the entry screen
// and printed from there into a PDF file.
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeEventPump.h"
#include "tests/fakes/FakeFileOpenDialog.h"
#include "tests/fakes/RecordingInputMethod.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/AppFixture.h"
#include "tests/support/FaultRecord.h"
#include "tests/support/TestDatabase.h"

#include "platform/Fonts.h"
#include "platform/PlatformError.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/grid/QtGrid.h"
#include "platform/print/QtPdfPrinter.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "screens/F_Itiran.h"
#include "screens/F_Tyukai.h"
#include "store/PropertyStore.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

int pdfPageCount(const QString& pdf)
{
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), { pdf });
    if (!info.waitForFinished(30000) || info.exitCode() != 0)
        return -1;
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

void addHostileTexts()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("quotes") << QStringLiteral("O'Brien \"邸\" '' \"\" ` ＇＂「」『』 \\' \\\" '");
    QTest::newRow("SQL fragments") << QStringLiteral("'; DROP TABLE Fudousan; -- \" OR 1=1 -- ? ?1 :a @b $c %_ */ /*");
    QString megabyte;
    megabyte.reserve(1 << 20);
    while (megabyte.size() < (1 << 20))
        megabyte += QStringLiteral("東京都港区芝公園4-2-8 価格3,980万円 '\"; ");
    megabyte.truncate(1 << 20);
    QTest::newRow("1 MB") << megabyte;
    QString controls = QStringLiteral("tab\there\r\nCRLF\nLF\rCR");
    for (ushort c = 1; c < 0x20; ++c)
        controls += QChar(c);
    controls += QChar(0x7f) + QStringLiteral("after NUL:") + QChar(0) + QStringLiteral("end") + QChar(0x85);
    QTest::newRow("control characters") << controls;
    QTest::newRow("outside the BMP") << QStringLiteral(
        "🏠🏡 𠮷野家 𩸽 🇯🇵 👨‍👩‍👧‍👦 🀄 𝔘𝔫𝔦 \U0001F600\U0010FFFD");
    QTest::newRow("combining marks") << QStringLiteral(
        "\u0301先頭 か\u3099き\u3099 e\u0301 Z\u0351\u0352\u0357\u035b\u0363\u0364a\u0300\u0301\u0302\u0303l");
    QTest::newRow("invisible and spacing")
        << QStringLiteral("\uFEFF  前後に空白　\u00A0\u200B\u200D\u200E\u202E右から左\u202C\u2028\u2029 ");
}

bool refusedByTheServer(const QString& text)
{
    return TestDatabase::server() && text.contains(QChar(0));
}

} // namespace

class TestHostileTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerFontSubstitutions(); }

    void storedAndReadBackExactly_data() { addHostileTexts(); }

    void storedAndReadBackExactly()
    {
        QFETCH(QString, text);
        TestDatabase db;
        StoreFixture f(db.folder());
        PropertyStore& store = f.store;
        RecordingMessageBox& messages = f.messages;
        QVERIFY(store.Open_Database());

        SampleEntryView screen;
        screen.fillAll(text);
        store.setMapImagePath(text);
        if (refusedByTheServer(text)) {
            // A server's text column cannot hold U+0000: refused whole, nothing stored.
            QVERIFY_THROWS_EXCEPTION(PlatformError, store.Save_Property(screen));
            QCOMPARE(db.rowCount(), 0);
            return;
        }
        store.Save_Property(screen);
        QCOMPARE(messages.shown.size(), 1);

        // Directly from the file: one row, the table still there, every value exact.
        const auto rows = db.rows();
        QCOMPARE(rows.size(), size_t(1));
        for (int i = 0; i < kColumnCount; ++i)
            QVERIFY2(rows[0][i] == std::optional<QString>(text), kPropertyColumns[i]);

        // Through the store, found by the text as its location.
        QVERIFY(store.Run_Query(QStringLiteral("SELECT * FROM Fudousan WHERE Syozai = ?"), { text }));
        RowSet& found = store.recordset();
        QVERIFY(!found.atEnd());
        for (int i = 0; i < kColumnCount; ++i)
            QVERIFY2(found.field(propertyColumn(i)) == std::optional<QString>(text), kPropertyColumns[i]);
        found.moveNext();
        QVERIFY(found.atEnd());

        // Printing it again finds it stored and adds nothing.
        int printed = 0;
        store.Save_If_New_And_Print(text, screen, [&] { ++printed; });
        QCOMPARE(printed, 1);
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(db.rowCount(), 1);
    }

    void listedReloadedAndPrinted_data() { addHostileTexts(); }

    // Stored as every value of a property, then through the screens: its
    // line in the list, 表示 into the entry screen, 印刷 there into a PDF.
    void listedReloadedAndPrinted()
    {
        QFETCH(QString, text);
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("poppler-utils (pdfinfo) not installed");
        if (refusedByTheServer(text))
            QSKIP("a server cannot store U+0000; its refusal is checked above");
        TestDatabase db;
        QTemporaryDir flyers;
        QVERIFY(flyers.isValid());
        ScreenFixture f(db.folder());
        PropertyStore& store = f.store;
        RecordingMessageBox& messages = f.messages;
        // Real PDFs in place of the fixture's recording printers.
        PdfPrinterSource printers(messages, flyers.path());
        const ScreenServices services { store, messages, f.fileDialog, f.pictures, f.events, f.environment, printers,
            f.inputMethod, f.preview, f.saveDialog, f.pdfFiles };
        QVERIFY(store.Open_Database());
        SampleEntryView typed;
        typed.fillAll(text);
        store.setMapImagePath(text);
        store.Save_Property(typed);
        messages.shown.clear();

        F_Itiran list(services);
        list.Form_Load();
        QCOMPARE(list.grid().rowCount(), 2);
        QVERIFY(list.grid().cellText(1, 1) == text);

        list.grid().selectRow(0);
        QTest::mouseClick(list.findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        const std::unique_ptr<F_Tyukai> entry = list.takeEntryScreen();
        QVERIFY(entry);
        for (int i = 0; i < kBoxCount; ++i) {
            const auto* box = entry->findChild<QLineEdit*>(QStringLiteral("Tbox_%1").arg(i));
            QVERIFY2(box->text() == text, kPropertyColumns[i]);
        }
        QVERIFY(store.mapImagePath() == text);
        QVERIFY(entry->picture().isNull()); // no such map file

        QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("Command1_0")), Qt::LeftButton);

        // Already stored: printing adds no row and says only where the file went.
        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown.first().style, int(MB_Information));
        const QStringList written = QDir(flyers.path()).entryList({ QStringLiteral("*.pdf") }, QDir::Files);
        QCOMPARE(written.size(), 1);
        QVERIFY(messages.shown.first().text.contains(written.first()));
        QCOMPARE(pdfPageCount(QDir(flyers.path()).filePath(written.first())), 1);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestHostileTexts test;
    return TestDatabase::runOnBothEngines(test, argc, argv);
}
#include "TestHostileTexts.moc"
