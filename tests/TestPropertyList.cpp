// Listing, deleting and loading properties, against a real database file:
// what the grid shows, which rows a deletion removes, and what a load puts
// into the entry screen.
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeClock.h"
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
#include <QTimeZone>

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
    void setMapNotice(const QString& text) override { notice = text; }

    std::array<QString, kBoxCount> boxes;
    QImage image;
    QString notice;
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

    // One transaction: a refused line leaves every selected row where it was.
    void aFailedDeletionDeletesNoneOfTheLines()
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
            QVERIFY2(e.description().contains(QStringLiteral("どれも削除されていません")), qPrintable(e.description()));
        }
        QCOMPARE(storedLocations(db), (QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") }));
        QVERIFY(db.deletedRows().empty());
        QCOMPARE(f.grid.column(1), storedLocations(db));
        QVERIFY(f.messages.shown.isEmpty()); // no completion claimed
    }

    // Delete three lines, bring two back: the two are new lines at the end
    // with every value as it was (NULL apart from empty) and keys never
    // given before; the third stays among the deleted.
    void deletedPropertiesComeBackExactlyAsTheyWere()
    {
        TestDatabase db;
        for (const char* l : { "一", "二", "三", "四", "五" })
            db.insert(withLocation(QString::fromUtf8(l)));
        // NULL and empty columns, as another program or an older version left them.
        db.exec(
            QStringLiteral("UPDATE Fudousan SET Koutu = NULL, Setubi = '' WHERE Syozai = '二';"
                           "UPDATE Fudousan SET Kakaku = NULL, Madori = NULL, Name_Text = '' WHERE Syozai = '五';"));
        const auto before = db.rows();
        const QString highestKey = db.value(QStringLiteral("SELECT max(rowid) FROM Fudousan")).value_or(QString());
        FakeClock clock(QDateTime(QDate(2026, 4, 1), QTime(9, 30), QTimeZone(9 * 3600)));
        Fixture f(db.folder());
        f.store.useClock(clock);
        f.store.Fill_Property_List(f.grid);
        f.grid.selection = { 2, 4, 5 }; // the last line too: its key is the highest
        f.store.Delete_Property(f.grid);
        QCOMPARE(storedLocations(db), (QStringList { QStringLiteral("一"), QStringLiteral("三") }));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text, QStringLiteral("データの削除が出来ました。"));

        // Kept with the moment of the deletion, newest first in the list.
        const auto kept = db.deletedRows();
        QCOMPARE(kept.size(), std::size_t(3));
        for (std::size_t i = 0; i < kept.size(); ++i) {
            QCOMPARE(kept[i][0], std::optional<QString>(QStringLiteral("2026-04-01T00:30:00.000Z")));
            const auto& row = before[std::size_t(std::vector<int> { 1, 3, 4 }[i])];
            QVERIFY(std::equal(row.begin(), row.end(), kept[i].begin() + 1));
        }
        const std::vector<DeletedProperty> listed = f.store.Deleted_Properties();
        QCOMPARE(listed.size(), std::size_t(3));
        QCOMPARE(listed[0].location, std::optional<QString>(QStringLiteral("五")));
        QCOMPARE(listed[0].price, std::optional<QString>());
        QCOMPARE(listed[2].location, std::optional<QString>(QStringLiteral("二")));
        QCOMPARE(listed[2].price, before[1][kKakakuIndex]);
        QCOMPARE(listed[0].deletedAt, clock.now());

        // 五 and 二 back, picked newest first: they come back in the order
        // they were deleted.
        f.messages.shown.clear();
        const QStringList restored = f.store.Restore_Properties({ listed[0].key, listed[2].key }, f.grid);
        QCOMPARE(restored.size(), 2);
        const auto after = db.rows();
        QCOMPARE(after.size(), std::size_t(4));
        QCOMPARE(after[2], before[1]);
        QCOMPARE(after[3], before[4]);
        for (const QString& key : restored)
            QVERIFY2(key.toLongLong() > highestKey.toLongLong(), qPrintable(key));
        QCOMPARE(f.grid.column(1),
            (QStringList { QStringLiteral("一"), QStringLiteral("三"), QStringLiteral("二"), QStringLiteral("五") }));
        QCOMPARE(f.grid.rowKey(3), restored.at(0));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(
            f.messages.shown.first().text, QStringLiteral("2 件の物件を元に戻しました。一覧の最後に加えてあります。"));
        QCOMPARE(f.messages.shown.first().style, 64);

        const std::vector<DeletedProperty> left = f.store.Deleted_Properties();
        QCOMPARE(left.size(), std::size_t(1));
        QCOMPARE(left[0].location, std::optional<QString>(QStringLiteral("四")));
        // Another copy of the program brought it back meanwhile: counted, not doubled.
        {
            StoreFixture other(db.folder());
            other.openOrDie();
            FakeGrid list;
            other.store.Restore_Properties({ left[0].key }, list);
        }
        f.messages.shown.clear();
        QVERIFY(f.store.Restore_Properties({ left[0].key }, f.grid).isEmpty());
        QCOMPARE(f.messages.shown.first().text,
            QStringLiteral("選択された 1 件の物件は、すでに元に戻されていたか、削除した物件から消えていました。"));
        QCOMPARE(db.rowCount(), 5);
        QVERIFY(db.deletedRows().empty());
    }

    // One transaction too: a refused one leaves both among the deleted.
    void aFailedRestoreBringsNoneBack()
    {
        TestDatabase db;
        for (const char* l : { "a", "b", "c" })
            db.insert(withLocation(QString::fromLatin1(l)));
        Fixture f(db.folder());
        f.store.Fill_Property_List(f.grid);
        f.grid.selection = { 1, 2 };
        f.store.Delete_Property(f.grid);
        db.refuseDeletion(QStringLiteral("b"), kDeletedTable);
        QStringList keys;
        for (const DeletedProperty& kept : f.store.Deleted_Properties())
            keys << kept.key;
        f.messages.shown.clear();
        try {
            f.store.Restore_Properties(keys, f.grid);
            QFAIL("no failure");
        } catch (const PlatformError& e) {
            QVERIFY2(e.description().contains(QStringLiteral("どれも元に戻っていません")), qPrintable(e.description()));
        }
        QCOMPARE(storedLocations(db), QStringList { QStringLiteral("c") });
        QCOMPARE(db.deletedRows().size(), std::size_t(2));
        QVERIFY(f.messages.shown.isEmpty());
    }

    // The table of deleted properties is the one table the program adds:
    // a file made before it had none opens, and gets it at its first 削除.
    void aFileWithoutTheDeletedTableGetsItAtItsFirstDelete()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase prepared;
        TestDatabase db;
        db.exec(QStringLiteral("DROP TABLE Fudousan_Sakuzyo"));
        db.insert(withLocation(QStringLiteral("a")));
        Fixture f(db.folder());
        QVERIFY(f.store.Deleted_Properties().empty());
        f.store.Fill_Property_List(f.grid);
        f.grid.selection = { 1 };
        f.store.Delete_Property(f.grid);
        QCOMPARE(db.rowCount(), 0);
        QCOMPARE(db.deletedRows().size(), std::size_t(1));
        const QString columns = QStringLiteral("SELECT name || ' ' || type FROM pragma_table_info('Fudousan_Sakuzyo')");
        QCOMPARE(db.values(columns), prepared.values(columns));
    }

    // The rows are deleted; that a line could not be listed is said apart,
    // not as a failure of the deletion.
    void aDeleteBesideAnUnlistableRowSaysWhatWasDeletedThenWhy()
    {
        TestDatabase db;
        db.insert(withLocation(QStringLiteral("a")));
        db.insert(withLocation(QStringLiteral("b")));
        db.exec(QStringLiteral("INSERT INTO Fudousan (Syozai) VALUES (NULL)"));
        db.insert(withLocation(QStringLiteral("c")));
        Fixture f(db.folder());
        QVERIFY_THROWS_EXCEPTION(PlatformError, f.store.Fill_Property_List(f.grid));
        f.grid.selection = { 1 };
        f.store.Delete_Property(f.grid);
        QCOMPARE(
            storedLocations(db), (QStringList { QStringLiteral("b"), QStringLiteral("<NULL>"), QStringLiteral("c") }));
        QCOMPARE(f.grid.column(1), QStringList { QStringLiteral("b") });
        QCOMPARE(f.messages.shown.size(), 2);
        QCOMPARE(f.messages.shown.at(0).text, QStringLiteral("データの削除が出来ました。"));
        QCOMPARE(f.messages.shown.at(0).style, 64);
        QVERIFY2(f.messages.shown.at(1).text.contains(QStringLiteral("2 件目の物件には所在がありません")),
            qPrintable(f.messages.shown.at(1).text));
        QCOMPARE(f.messages.shown.at(1).style, 16);
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
        QTest::addColumn<QString>("notice"); // what the picture box says; empty: nothing
        QTest::newRow("Madori NULL") << QStringLiteral("<NULL>") << true << QStringLiteral("before") << QString();
        QTest::newRow("map file removed") << QStringLiteral("<missing>") << true << QStringLiteral("<missing>")
                                          << QStringLiteral("地図のファイルが見つかりません:\n<missing>");
        QTest::newRow("not a picture") << QStringLiteral("<text>") << true << QStringLiteral("<text>")
                                       << QStringLiteral("地図を表示できません（対応していない形式です）:\n<text>");
        QTest::newRow("Madori empty") << QString() << false << QString() << QString();
    }

    void unitsThatCannotLoadKeepWhatTheScreenHad()
    {
        QFETCH(QString, madori);
        QFETCH(bool, pictureKept);
        QFETCH(QString, pathAfter);
        QFETCH(QString, notice);
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
        QCOMPARE(entry.notice,
            QString(notice).replace(QStringLiteral("<missing>"), missing).replace(QStringLiteral("<text>"), text));
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
