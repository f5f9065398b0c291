// Texts an agent may type or paste into every box: quotes, SQL fragments, a
// megabyte, control characters, characters outside the BMP, combining marks.
// Each is saved through the store and read back exactly, from the file
// directly and through the store's own query, and is found by its location.
#include "FaultRecord.h"
#include "TestDatabase.h"
#include "fakes/FakeAppEnvironment.h"
#include "fakes/RecordingMessageBox.h"

#include "platform/QtPictureLoader.h"
#include "platform/SqliteDatabaseEngine.h"
#include "store/PropertyStore.h"

#include <QTest>

class TestHostileTexts : public QObject
{
    Q_OBJECT

private slots:
    void storedAndReadBackExactly_data()
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
        QTest::newRow("outside the BMP")
            << QStringLiteral("🏠🏡 𠮷野家 𩸽 🇯🇵 👨‍👩‍👧‍👦 🀄 𝔘𝔫𝔦 \U0001F600\U0010FFFD");
        QTest::newRow("combining marks")
            << QStringLiteral("\u0301先頭 か\u3099き\u3099 e\u0301 Z\u0351\u0352\u0357\u035b\u0363\u0364a\u0300\u0301\u0302\u0303l");
        QTest::newRow("invisible and spacing")
            << QStringLiteral("\uFEFF  前後に空白　\u00A0\u200B\u200D\u200E\u202E右から左\u202C\u2028\u2029 ");
    }

    void storedAndReadBackExactly()
    {
        QFETCH(QString, text);
        TestDatabase db;
        SqliteDatabaseEngine engine;
        FakeAppEnvironment environment(db.folder());
        RecordingMessageBox messages;
        QtPictureLoader pictures;
        PropertyStore store(engine, environment, messages, pictures);
        QVERIFY(store.Open_Database());

        FixedEntryView screen;
        screen.texts.fill(text);
        store.Map_Image_Path = text;
        store.Save_Property(screen);
        QCOMPARE(messages.shown.size(), 1);

        // Directly from the file: one row, the table still there, every value exact.
        const auto rows = db.rows();
        QCOMPARE(rows.size(), size_t(1));
        for (int i = 0; i < kColumnCount; ++i)
            QVERIFY2(rows[0][i] == std::optional<QString>(text), kPropertyColumns[i]);

        // Through the store, found by the text as its location.
        QVERIFY(store.Run_Query(QStringLiteral("SELECT * FROM Fudousan WHERE Syozai = ?"), {text}));
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
};

QTEST_GUILESS_MAIN(TestHostileTexts)
#include "TestHostileTexts.moc"
