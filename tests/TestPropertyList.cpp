// Listing, deleting and loading properties, against a real database file:
// what the grid shows, which rows a deletion removes, and what a load puts
// into the entry screen.
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeGrid.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include "model/EntryView.h"
#include "platform/PlatformError.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "store/PropertyStore.h"
#include "tests/support/FlyerSample.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

// The entry screen's state without the screen.
class FakeEntry : public EntryEditor
{
public:
    FakeEntry()
    {
        for (int i = 0; i < kBoxCount; ++i)
            boxes[std::size_t(i)] = QStringLiteral("start-%1").arg(i);
    }
    QString boxText(int index) const override { return boxes.at(std::size_t(index)); }
    QImage picture() const override { return image; }
    void setBoxText(int index, const QString& text) override { boxes.at(std::size_t(index)) = text; }
    void setPicture(const QImage& picture) override { image = picture; }

    std::array<QString, kBoxCount> boxes;
    QImage image;
};

PropertyRecord withLocation(const QString& location, const QString& tag = QString())
{
    PropertyRecord r = TestDatabase::distinctRecord(tag.isEmpty() ? location : tag);
    r[kSyozaiIndex] = location;
    r[kMadoriIndex].clear();
    return r;
}

QImage writePicture(const QString& path, const QColor& colour)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(colour);
    if (!image.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return image;
}

QStringList numbers(int count)
{
    QStringList texts;
    for (int r = 1; r <= count; ++r)
        texts << QString::number(r);
    return texts;
}

QStringList storedLocations(const TestDatabase& db)
{
    QStringList locations;
    for (const auto& row : db.rows())
        locations << row[kSyozaiIndex].value_or(QStringLiteral("<NULL>"));
    return locations;
}

} // namespace

class TestPropertyList : public QObject
{
    Q_OBJECT

private:
    struct Fixture : StoreFixture
    {
        explicit Fixture(const QString& folder)
            : StoreFixture(folder)
        {
            openOrDie();
        }
        FakeGrid grid;
    };

private slots:
    void listsInTheTablesOwnOrderNumberedFromOne_data()
    {
        QTest::addColumn<QStringList>("locations");
        QTest::newRow("empty") << QStringList();
        // Inserted out of alphabetical order: an index scan would sort them.
        QTest::newRow("three") << QStringList { QStringLiteral("東京都 港区"), QStringLiteral("A 町"),
            QStringLiteral("横浜市 中区") };
        QTest::newRow("duplicates") << QStringList { QStringLiteral("z"), QStringLiteral("b"), QStringLiteral("z") };
        QTest::newRow("blanks and quotes")
            << QStringList { QStringLiteral(" "), QStringLiteral("a' OR '1'='1"), QStringLiteral("O'Hara \"2\" ") };
    }

    void listsInTheTablesOwnOrderNumberedFromOne()
    {
        QFETCH(QStringList, locations);
        TestDatabase db;
        for (const QString& l : locations)
            db.insert(withLocation(l, QStringLiteral("x")));
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);
        QCOMPARE(f.grid.cells.front(), (QStringList { QStringLiteral("No."), QStringLiteral("物件所在地") }));
        QCOMPARE(f.grid.column(1), locations);
        QCOMPARE(f.grid.column(0), numbers(int(locations.size())));
        QVERIFY(f.messages.shown.isEmpty());
    }

    void refillReplacesEveryEarlierLine()
    {
        TestDatabase db;
        db.insert(withLocation(QStringLiteral("残る")));
        Fixture f(db.folder());
        f.grid.setRowCount(6);
        f.grid.setCellText(5, 1, QStringLiteral("古い行"));
        f.store.Fill_Property_List(f.grid);
        QCOMPARE(f.grid.column(1), QStringList { QStringLiteral("残る") });
        QCOMPARE(f.grid.appendCalls, 1);
    }

    void failuresAreReportedAndKeepWhatIsListed()
    {
        TestDatabase db;
        db.insert(withLocation(QStringLiteral("一")));
        db.exec(QStringLiteral(
            "INSERT INTO Fudousan (Syozai) VALUES (NULL); INSERT INTO Fudousan (Syozai) VALUES ('三');"));
        Fixture f(db.folder());
        // A row without a location stops the list there, with a reason.
        QVERIFY_THROWS_EXCEPTION(PlatformError, f.store.Fill_Property_List(f.grid));
        QCOMPARE(f.grid.column(1), QStringList { QStringLiteral("一") });

        // An unreadable table leaves the grid as it was.
        db.exec(QStringLiteral("DROP TABLE Fudousan"));
        try {
            f.store.Fill_Property_List(f.grid);
            QFAIL("no failure");
        } catch (const PlatformError& e) {
            QVERIFY(e.description().contains(QStringLiteral("一覧")));
        }
        QCOMPARE(f.grid.column(1), QStringList { QStringLiteral("一") });
    }

    void deletesTheSelectedKeysThenRefillsOnce_data()
    {
        QTest::addColumn<QStringList>("locations");
        QTest::addColumn<std::vector<int>>("selected");
        QTest::addColumn<QStringList>("remaining");
        const QStringList five { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
            QStringLiteral("e") };
        QTest::newRow("three of five, picked out of order")
            << five << std::vector<int> { 4, 1, 2 } << QStringList { QStringLiteral("c"), QStringLiteral("e") };
        QTest::newRow("the last line") << five << std::vector<int> { 5 } << five.mid(0, 4);
        QTest::newRow("every property") << five << std::vector<int> { 1, 2, 3, 4, 5 } << QStringList();
        QTest::newRow("one of two equal locations removes its own row alone")
            << QStringList { QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("x") } << std::vector<int> { 1 }
            << QStringList { QStringLiteral("y"), QStringLiteral("x") };
        QTest::newRow("both equal locations selected")
            << QStringList { QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("y") }
            << std::vector<int> { 1, 2 } << QStringList { QStringLiteral("y") };
        QTest::newRow("quotes delete only their own rows") << QStringList {
            QStringLiteral("a' OR '1'='1"), QStringLiteral("a"), QStringLiteral("O'Hara"), QStringLiteral("O'Hara ")
        } << std::vector<int> { 1, 3 } << QStringList { QStringLiteral("a"), QStringLiteral("O'Hara ") };
    }

    void deletesTheSelectedKeysThenRefillsOnce()
    {
        QFETCH(QStringList, locations);
        QFETCH(std::vector<int>, selected);
        QFETCH(QStringList, remaining);
        TestDatabase db;
        for (const QString& l : locations)
            db.insert(withLocation(l));
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);
        f.grid.selection = selected;
        const int appendsBefore = f.grid.appendCalls;

        f.store.Delete_Property(f.grid);

        QCOMPARE(storedLocations(db), remaining);
        QCOMPARE(f.grid.column(1), remaining);
        QCOMPARE(f.grid.column(0), numbers(int(remaining.size())));
        QCOMPARE(f.grid.appendCalls - appendsBefore, remaining.isEmpty() ? 0 : 1);
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text, QStringLiteral("データの削除が出来ました。"));
        QCOMPARE(f.messages.shown.first().style, 64);
        QCOMPARE(f.messages.shown.first().title, QStringLiteral("Zabrelo"));
    }

    void deleteWithNothingSelectedAsksForASelection()
    {
        TestDatabase db;
        db.insert(withLocation(QStringLiteral("a")));
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);
        const int changes = f.grid.setRowCountCalls + f.grid.appendCalls;
        f.store.Delete_Property(f.grid);
        QCOMPARE(db.rowCount(), 1);
        QCOMPARE(f.grid.setRowCountCalls + f.grid.appendCalls, changes);
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text, QStringLiteral("データを選択して下さい。"));
        QCOMPARE(f.messages.shown.first().style, 16);
        QCOMPARE(f.messages.shown.first().title, QStringLiteral("Zabrelo"));
    }

    void failedDeletionIsReportedAndTheListShowsTheTruth()
    {
        TestDatabase db;
        for (const char* l : { "a", "b", "c" })
            db.insert(withLocation(QString::fromLatin1(l)));
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);
        f.grid.selection = { 1, 3 };
        // The second deletion is refused by the database.
        db.refuseDeletion(QStringLiteral("c"));
        try {
            f.store.Delete_Property(f.grid);
            QFAIL("no failure");
        } catch (const PlatformError& e) {
            QVERIFY2(e.description().contains(QStringLiteral("「c」")), qPrintable(e.description()));
        }
        QCOMPARE(storedLocations(db), (QStringList { QStringLiteral("b"), QStringLiteral("c") }));
        QCOMPARE(f.grid.column(1), storedLocations(db));
        QVERIFY(f.messages.shown.isEmpty()); // no completion claimed
    }

    void loadsExactlyTheStoredTextsAndTheMap()
    {
        TestDatabase db;
        const QImage map = writePicture(QDir(db.folder()).filePath(QStringLiteral("map.bmp")), Qt::red);
        PropertyRecord first = TestDatabase::distinctRecord(QStringLiteral("1"));
        first[kSyozaiIndex] = QStringLiteral("a' OR '1'='1");
        first[0] = QStringLiteral("  ３，０００万円 ");
        first[5] = QString();
        first[kMadoriIndex] = QDir(db.folder()).filePath(QStringLiteral("map.bmp"));
        PropertyRecord other = TestDatabase::distinctRecord(QStringLiteral("2")); // would match an OR injection
        PropertyRecord second = first; // same key, registered later
        second[0] = QStringLiteral("later");
        db.insert(other);
        db.insert(first);
        db.insert(second);
        Fixture f(db.folder());
        FakeEntry entry;

        f.store.Fill_Property_List(f.grid);
        f.store.Load_Property(f.grid.rowKey(2), entry);

        for (int i = 0; i < kBoxCount; ++i)
            QCOMPARE(entry.boxText(i), first[i]);
        QCOMPARE(entry.picture().convertToFormat(QImage::Format_RGB32), map);
        QCOMPARE(f.store.mapImagePath(), first[kMadoriIndex]);
        QVERIFY(f.messages.shown.isEmpty());
    }

    void unitsThatCannotLoadKeepWhatTheScreenHad_data()
    {
        QTest::addColumn<QString>("madori"); // "<NULL>", "<missing>" or a literal value
        QTest::addColumn<bool>("pictureKept");
        QTest::addColumn<QString>("pathAfter");
        QTest::newRow("Madori NULL") << QStringLiteral("<NULL>") << true << QStringLiteral("before");
        QTest::newRow("map file removed") << QStringLiteral("<missing>") << true << QStringLiteral("<missing>");
        QTest::newRow("not a picture") << QStringLiteral("<text>") << true << QStringLiteral("<text>");
        QTest::newRow("Madori empty") << QString() << false << QString();
    }

    void unitsThatCannotLoadKeepWhatTheScreenHad()
    {
        QFETCH(QString, madori);
        QFETCH(bool, pictureKept);
        QFETCH(QString, pathAfter);
        TestDatabase db;
        const QString missing = QDir(db.folder()).filePath(QStringLiteral("gone.jpg"));
        const QString text = QDir(db.folder()).filePath(QStringLiteral("notes.bmp"));
        QFile t(text);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("not a bitmap");
        t.close();
        const auto resolve = [&](const QString& v) {
            return v == QStringLiteral("<missing>") ? missing : v == QStringLiteral("<text>") ? text : v;
        };
        db.insert(withLocation(QStringLiteral("k")));
        db.exec(QStringLiteral("UPDATE Fudousan SET Koutu = NULL, Madori = %1")
                    .arg(madori == QStringLiteral("<NULL>") ? QStringLiteral("NULL")
                                                            : QLatin1Char('\'') + resolve(madori) + QLatin1Char('\'')));
        Fixture f(db.folder());
        f.store.setMapImagePath(QStringLiteral("before"));
        FakeEntry entry;
        const QImage start = QImage(5, 5, QImage::Format_RGB32);
        entry.image = start;

        f.store.Fill_Property_List(f.grid);
        f.store.Load_Property(f.grid.rowKey(1), entry);

        QCOMPARE(entry.boxText(2), QStringLiteral("start-2")); // the NULL column
        QCOMPARE(entry.boxText(kSyozaiIndex), QStringLiteral("k"));
        QCOMPARE(entry.boxText(3), withLocation(QStringLiteral("k"))[3]);
        QCOMPARE(entry.picture().isNull(), !pictureKept);
        QCOMPARE(f.store.mapImagePath(), resolve(pathAfter));
        QVERIFY(f.messages.shown.isEmpty());
    }

    void aKeyThatMatchesNothingChangesNothing()
    {
        TestDatabase db;
        db.insert(withLocation(QStringLiteral("a")));
        Fixture f(db.folder());
        f.store.setMapImagePath(QStringLiteral("kept"));
        FakeEntry entry;
        const auto before = entry.boxes;
        for (const QString& key :
            { QStringLiteral("2"), QStringLiteral("' OR '1'='1"), QStringLiteral("a"), QString() })
            f.store.Load_Property(key, entry);
        QCOMPARE(entry.boxes, before);
        QCOMPARE(f.store.mapImagePath(), QStringLiteral("kept"));

        // Nor does a failed query, whatever row set an earlier query left.
        QVERIFY(f.store.Run_Query(QStringLiteral("SELECT * FROM Fudousan")));
        db.exec(QStringLiteral("DROP TABLE Fudousan"));
        f.store.Load_Property(QStringLiteral("1"), entry);
        QCOMPARE(entry.boxes, before);
        QVERIFY(f.messages.shown.isEmpty());
    }

    // A property corrected by registering it again: each line shows and
    // deletes its own row, not the first or every row of its location.
    void eachLineShowsAndDeletesItsOwnRow()
    {
        TestDatabase db;
        PropertyRecord outdated = withLocation(QStringLiteral("港区 1-1"), QStringLiteral("old"));
        PropertyRecord corrected = withLocation(QStringLiteral("港区 1-1"), QStringLiteral("new"));
        db.insert(outdated);
        db.insert(withLocation(QStringLiteral("other")));
        db.insert(corrected);
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);

        FakeEntry entry;
        f.store.Load_Property(f.grid.rowKey(3), entry);
        QCOMPARE(entry.boxText(0), corrected[0]);
        f.store.Load_Property(f.grid.rowKey(1), entry);
        QCOMPARE(entry.boxText(0), outdated[0]);

        f.grid.selection = { 1 };
        f.store.Delete_Property(f.grid);
        QCOMPARE(db.rows().size(), std::size_t(2));
        QCOMPARE(db.rows().back()[0], std::optional<QString>(corrected[0]));
        f.store.Load_Property(f.grid.rowKey(2), entry);
        QCOMPARE(entry.boxText(0), corrected[0]);
    }

    // On one connection: the last row saved, then deleted, then another
    // saved. The new row gets a key of its own, so a line filled before the
    // deletion never stands for it.
    void aRowKeyIsNeverGivenTwice()
    {
        TestDatabase db;
        Fixture f(db.folder());
        f.store.Save_Property(SampleEntryView(withLocation(QStringLiteral("a"))));
        f.store.Save_Property(SampleEntryView(withLocation(QStringLiteral("b"))));
        f.store.Fill_Property_List(f.grid);
        FakeGrid stale;
        f.store.Fill_Property_List(stale);
        const QString keyOfB = f.grid.rowKey(2);

        f.grid.selection = { 2 };
        f.store.Delete_Property(f.grid);
        f.store.Save_Property(SampleEntryView(withLocation(QStringLiteral("c"))));
        f.store.Fill_Property_List(f.grid);
        QCOMPARE(f.grid.rowCount(), 3); // the header and two lines
        QVERIFY2(f.grid.rowKey(2) != keyOfB, qPrintable(keyOfB));

        // The stale line of b neither shows nor deletes c.
        FakeEntry entry;
        f.store.Load_Property(keyOfB, entry);
        QCOMPARE(entry.boxText(kSyozaiIndex), FakeEntry().boxText(kSyozaiIndex));
        stale.selection = { 2 };
        f.store.Delete_Property(stale);
        QCOMPARE(storedLocations(db), (QStringList { QStringLiteral("a"), QStringLiteral("c") }));
    }

    // Another copy of the program deleted a line's row after this list was
    // filled, and registered the same location again.
    void linesWhoseRowsAreGoneAreCountedNotReportedDeleted()
    {
        TestDatabase db;
        for (const char* l : { "a", "b", "c" })
            db.insert(withLocation(QString::fromLatin1(l)));
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);
        {
            // The other copy deletes the last two and registers the second again.
            StoreFixture other(db.folder());
            other.openOrDie();
            FakeGrid list;
            other.store.Fill_Property_List(list);
            list.selection = { 2, 3 };
            other.store.Delete_Property(list);
            other.store.Save_Property(SampleEntryView(withLocation(QStringLiteral("b"), QStringLiteral("again"))));
        }

        f.grid.selection = { 1, 2 };
        f.store.Delete_Property(f.grid);
        QCOMPARE(storedLocations(db), QStringList { QStringLiteral("b") });
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text,
            QStringLiteral("1 件のデータを削除しました。ほかの 1 件は、すでに削除されていました。"));

        // Every selected row gone: nothing is claimed deleted.
        f.messages.shown.clear();
        f.grid.selection = { 1 };
        db.exec(QStringLiteral("DELETE FROM Fudousan"));
        f.store.Delete_Property(f.grid);
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(
            f.messages.shown.first().text, QStringLiteral("選択された 1 件のデータは、すでに削除されていました。"));
        QCOMPARE(f.grid.rowCount(), 1);
    }

    // A file written by another program: a location stored as a number
    // (negative ones and the smallest integer too), a blob or bytes that are
    // not UTF-8 is listed as text, and its line acts on its row.
    void nonTextLocationsAreListedAndActedOn()
    {
        if (TestDatabase::server())
            QSKIP("the server's columns hold text only");
        TestDatabase db;
        QStringList untyped;
        for (const char* column : kPropertyColumns)
            untyped << QString::fromLatin1(column);
        db.exec(
            QStringLiteral("DROP TABLE Fudousan; CREATE TABLE Fudousan (%1);").arg(untyped.join(QStringLiteral(", "))));
        db.exec(QStringLiteral("INSERT INTO Fudousan (Syozai, Kakaku) VALUES (123, 'number'), (x'e6b8af41', 'blob'), "
                               "(CAST(x'41ff42' AS TEXT), 'bad utf8'), ('text', 'text'), (-70, 'negative'), "
                               "(-9223372036854775808, 'smallest');"));
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);
        QCOMPARE(f.grid.column(1),
            (QStringList { QStringLiteral("123"), QStringLiteral("港A"),
                QStringLiteral("A") + QChar(0xFFFD) + QStringLiteral("B"), QStringLiteral("text"),
                QStringLiteral("-70"), QStringLiteral("-9223372036854775808") }));
        for (int line = 1; line <= 3; ++line) {
            FakeEntry entry;
            f.store.Load_Property(f.grid.rowKey(line), entry);
            QCOMPARE(entry.boxText(0),
                (QStringList { QStringLiteral("number"), QStringLiteral("blob"), QStringLiteral("bad utf8") }.at(
                    line - 1)));
        }
        f.grid.selection = { 1, 2, 3 };
        f.store.Delete_Property(f.grid);
        QCOMPARE(storedLocations(db),
            (QStringList { QStringLiteral("text"), QStringLiteral("-70"), QStringLiteral("-9223372036854775808") }));
        QCOMPARE(f.messages.shown.first().text, QStringLiteral("データの削除が出来ました。"));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TestPropertyList test;
    return TestDatabase::runOnBothEngines(test, argc, argv);
}
#include "TestPropertyList.moc"
