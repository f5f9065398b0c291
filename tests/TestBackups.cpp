// Daily backups: a complete copy beside the database once a day, the last 14
// kept, and a failure that touches neither the database nor older copies.
#include "tests/support/AppFixture.h"
#include "tests/support/FaultRecord.h"
#include "tests/support/FaultSupport.h"
#include "tests/support/TestDatabase.h"

#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "store/PropertyStore.h"
#include "tests/fakes/FakeClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

const QDate kFirstDay(2026, 3, 1);

QString copyName(const QDate& day)
{
    return QStringLiteral("Fudousan-%1.mdb").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

QStringList copies(const PropertyStore& store)
{
    return QDir(store.backupFolder())
        .entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A database with one row, its store on a clock the test moves, and the
// folder of the daily copies.
struct BackupFixture
{
    explicit BackupFixture(std::unique_ptr<DatabaseEngine> engine = TestDatabase::engine())
        : f(db.folder(), std::move(engine))
    {
        db.insert(faultRecord(0));
        f.openOrDie();
        f.store.useClock(clock);
        QDir().mkpath(f.store.backupFolder());
    }

    QString inBackups(const QString& name) const { return QDir(f.store.backupFolder()).filePath(name); }

    // The day's backup, as the program runs on each of `days` days from `first`.
    void runOnDays(const QDate& first, int days)
    {
        for (int n = 0; n < days; ++n) {
            clock.setDate(first.addDays(n));
            f.store.Backup_If_Due();
        }
    }

    TestDatabase db;
    StoreFixture f;
    FakeClock clock { QDateTime(kFirstDay, QTime(9, 0)) };
};

// The SQLite engine, whose copies have the head of their second page (the
// table's root) written over after they are written and before the engine
// checks them, while `spoil` is set.
std::unique_ptr<DatabaseEngine> spoilingEngine(const bool& spoil)
{
    return std::make_unique<SqliteDatabaseEngine>([&spoil](const QString& copy) {
        if (!spoil)
            return;
        QFile file(copy);
        const QByteArray header = file.open(QIODevice::ReadWrite) ? file.read(100) : QByteArray();
        const int pageSize = header.size() == 100 ? (quint8(header[16]) << 8 | quint8(header[17])) : 0;
        if (pageSize == 0 || !file.seek(pageSize) || file.write(QByteArray(64, '\xa5')) != 64)
            qFatal("cannot spoil %s", qPrintable(copy));
    });
}

} // namespace

class TestBackups : public QObject
{
    Q_OBJECT

private slots:
    void theDaysCopyHoldsEveryRowAndIsWrittenOnce()
    {
        TestDatabase db;
        db.insert(faultRecord(0));
        StoreFixture f(db.folder());
        f.openOrDie();
        FakeClock clock(QDateTime(kFirstDay, QTime(9, 0)));
        f.store.useClock(clock);
        f.store.Save_Property(SampleEntryView(faultRecord(1))); // the first save of the day copies

        QCOMPARE(copies(f.store), QStringList { copyName(kFirstDay) });
        const QString copy = QDir(f.store.backupFolder()).filePath(copyName(kFirstDay));
        QCOMPARE(pragmaOnFile(copy, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        QCOMPARE(pragmaOnFile(copy, QStringLiteral("SELECT Syozai FROM Fudousan ORDER BY rowid")),
            faultKey(0) + QLatin1Char('\n') + faultKey(1));

        // Later saves the same day, or another run that day, add no copy.
        f.store.Save_Property(SampleEntryView(faultRecord(2)));
        StoreFixture again(db.folder());
        again.openOrDie();
        again.store.useClock(clock);
        again.store.Backup_If_Due();
        QCOMPARE(copies(f.store), QStringList { copyName(kFirstDay) });
        QCOMPARE(pragmaOnFile(copy, QStringLiteral("SELECT count(*) FROM Fudousan")), QStringLiteral("2"));

        // The first save of the next day writes that day's copy.
        clock.setDate(kFirstDay.addDays(1));
        f.store.Save_Property(SampleEntryView(faultRecord(3)));
        QCOMPARE(copies(f.store), (QStringList { copyName(kFirstDay), copyName(kFirstDay.addDays(1)) }));
        QVERIFY(f.messages.shown.size() == 3 && again.messages.shown.isEmpty()); // the three saves, no failure
    }

    void fifteenDaysKeepTheLastFourteen()
    {
        TestDatabase db;
        db.insert(faultRecord(0));
        StoreFixture f(db.folder());
        f.openOrDie();
        FakeClock clock;
        f.store.useClock(clock);
        QStringList expected;
        for (int n = 0; n < 15; ++n) {
            clock.setDate(kFirstDay.addDays(n));
            f.store.Backup_If_Due();
            if (n > 0)
                expected << copyName(kFirstDay.addDays(n));
        }
        QCOMPARE(copies(f.store), expected);
        QVERIFY(f.messages.shown.isEmpty());
    }

    // The day's copy cannot be written (its place is taken): said once, the
    // database and the older copies stay as they were, work goes on.
    void aFailedBackupTouchesNothingAndIsSaidOnce()
    {
        TestDatabase db;
        db.insert(faultRecord(0));
        StoreFixture f(db.folder());
        f.openOrDie();
        FakeClock clock;
        f.store.useClock(clock);
        QDate day = kFirstDay;
        for (int n = 0; n < 14; ++n, day = day.addDays(1)) {
            clock.setDate(day);
            f.store.Backup_If_Due();
        }
        clock.setDate(day);
        const QStringList before = copies(f.store);
        const QByteArray oldest = fileBytes(QDir(f.store.backupFolder()).filePath(before.first()));
        const QByteArray database = fileBytes(db.path());
        QVERIFY(QDir(f.store.backupFolder()).mkpath(copyName(day) + QStringLiteral(".part/blocker")));

        f.store.Backup_If_Due();
        QVERIFY(fileBytes(db.path()) == database);
        f.store.Save_Property(SampleEntryView(faultRecord(1))); // tries again, silently
        QCOMPARE(f.messages.shown.size(), 2);
        QVERIFY(f.messages.shown.first().text.contains(QStringLiteral("バックアップ")));
        QCOMPARE(f.messages.shown.first().style, 16);
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("登録を完了しました。"));
        QStringList after = copies(f.store);
        after.removeAll(copyName(day) + QStringLiteral(".part"));
        QCOMPARE(after, before);
        QCOMPARE(fileBytes(QDir(f.store.backupFolder()).filePath(before.first())), oldest);
        QCOMPARE(db.rowCount(), 2);
    }

    // The clock ran ahead for a while and wrote copies dated in the future;
    // back at the true date, the day's copy is made, kept, and the later ones
    // are neither counted nor removed. That the clock went back is said once.
    void aCopyMadeAfterTheClockRanAheadIsKept()
    {
        BackupFixture b;
        const QDate ahead = kFirstDay.addDays(30);
        b.runOnDays(ahead, PropertyStore::kBackupsKept);
        const QStringList future = copies(b.f.store);
        QCOMPARE(future.size(), PropertyStore::kBackupsKept);

        StoreFixture nextRun(b.db.folder());
        nextRun.openOrDie();
        b.clock.setDate(kFirstDay);
        nextRun.store.useClock(b.clock);
        nextRun.store.Backup_If_Due();
        nextRun.store.Save_Property(SampleEntryView(faultRecord(1)));

        QCOMPARE(copies(b.f.store), QStringList { copyName(kFirstDay) } + future);
        QCOMPARE(pragmaOnFile(b.inBackups(copyName(kFirstDay)), QStringLiteral("SELECT count(*) FROM Fudousan")),
            QStringLiteral("1"));
        QCOMPARE(nextRun.messages.shown.size(), 2); // the notice, then the save's
        QVERIFY2(nextRun.messages.shown.first().text.contains(QStringLiteral("時計"))
                && nextRun.messages.shown.first().text.contains(
                    ahead.addDays(PropertyStore::kBackupsKept - 1).toString(Qt::ISODate)),
            qPrintable(nextRun.messages.shown.first().text));
        QCOMPARE(nextRun.messages.shown.first().style, int(MB_Information));
    }

    // Left running, the program sees the date go back: said once in the run.
    void aClockThatWentBackIsSaidOnce()
    {
        BackupFixture b;
        b.runOnDays(kFirstDay.addDays(5), 1);
        b.runOnDays(kFirstDay.addDays(2), 2);
        QCOMPARE(b.f.messages.shown.size(), 1);
        QVERIFY2(b.f.messages.shown.first().text.contains(QStringLiteral("時計")),
            qPrintable(b.f.messages.shown.first().text));
        QCOMPARE(copies(b.f.store),
            (QStringList {
                copyName(kFirstDay.addDays(2)), copyName(kFirstDay.addDays(3)), copyName(kFirstDay.addDays(5)) }));
    }

    // Only the program's own copies count and go: a name that is no real
    // date, and a folder or a link under a dated name, stay.
    void retentionRemovesOnlyItsOwnDatedCopies()
    {
        BackupFixture b;
        const QStringList strangers { QStringLiteral("Fudousan-2020-13-40.mdb"),
            QStringLiteral("Fudousan-2021-02-29.mdb"), QStringLiteral("Fudousan-0000-00-00.mdb"),
            QStringLiteral("Fudousan-2020-01-01.mdb"), QStringLiteral("Fudousan-2020-01-02.mdb") };
        for (int i = 0; i < 3; ++i) // copies of the database, as a user may make them
            QVERIFY(QFile::copy(b.db.path(), b.inBackups(strangers.at(i))));
        QVERIFY(QDir(b.f.store.backupFolder()).mkdir(strangers.at(3)));
        QVERIFY(QFile::link(b.db.path(), b.inBackups(strangers.at(4))));

        b.runOnDays(kFirstDay, PropertyStore::kBackupsKept + 1);
        QStringList expected = strangers;
        for (int n = 1; n <= PropertyStore::kBackupsKept; ++n)
            expected << copyName(kFirstDay.addDays(n));
        expected.sort();
        QCOMPARE(copies(b.f.store), expected);
        QVERIFY(b.f.messages.shown.isEmpty());
    }

    // Something else holds the day's name: the copy takes the next free
    // name, which the notice gives; a later run that day finds it.
    void aTakenNameGivesTheNextFreeName_data()
    {
        QTest::addColumn<QString>("taker");
        QTest::addColumn<QString>("said");
        QTest::newRow("file") << QStringLiteral("file") << QStringLiteral("ファイル");
        QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("フォルダー");
        QTest::newRow("link to a file") << QStringLiteral("link") << QStringLiteral("リンク");
        QTest::newRow("link to nowhere") << QStringLiteral("dangling") << QStringLiteral("リンク");
    }

    void aTakenNameGivesTheNextFreeName()
    {
        QFETCH(QString, taker);
        QFETCH(QString, said);
        BackupFixture b;
        const QString name = b.inBackups(copyName(kFirstDay));
        const QString elsewhere = QDir(b.db.folder()).filePath(QStringLiteral("elsewhere.txt"));
        QFile other(taker == QLatin1String("file") ? name : elsewhere);
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("not a copy") == 10);
        other.close();
        if (taker == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(name));
        if (taker == QLatin1String("dangling"))
            QVERIFY(QFile::remove(elsewhere));
        if (taker == QLatin1String("link") || taker == QLatin1String("dangling"))
            QVERIFY(QFile::link(elsewhere, name));
        const QString next = QStringLiteral("Fudousan-%1-2.mdb").arg(kFirstDay.toString(Qt::ISODate));
        const QStringList expected { next, copyName(kFirstDay) }; // "-" sorts before "."

        b.f.store.Backup_If_Due();
        QCOMPARE(copies(b.f.store), expected);
        QCOMPARE(pragmaOnFile(b.inBackups(next), QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        if (taker != QLatin1String("folder") && taker != QLatin1String("dangling"))
            QCOMPARE(fileBytes(taker == QLatin1String("file") ? name : elsewhere), QByteArray("not a copy"));
        QVERIFY(taker != QLatin1String("dangling") || !QFileInfo::exists(elsewhere));
        QCOMPARE(b.f.messages.shown.size(), 1);
        const QString notice = b.f.messages.shown.first().text;
        QVERIFY2(
            notice.contains(next) && notice.contains(copyName(kFirstDay)) && notice.contains(said), qPrintable(notice));

        StoreFixture sameDay(b.db.folder());
        sameDay.openOrDie();
        sameDay.store.useClock(b.clock);
        sameDay.store.Backup_If_Due();
        QCOMPARE(copies(b.f.store), expected);
        QVERIFY(sameDay.messages.shown.isEmpty());
    }

    // The day's copy fails its check: it is not kept, the older copies are
    // not thinned for it, and the next try (the next save) makes it.
    void aCopyFailingItsCheckIsNeitherKeptNorCounted()
    {
        bool spoil = false;
        BackupFixture b(spoilingEngine(spoil));
        b.runOnDays(kFirstDay, PropertyStore::kBackupsKept);
        const QStringList before = copies(b.f.store);

        spoil = true;
        b.clock.setDate(kFirstDay.addDays(PropertyStore::kBackupsKept));
        b.f.store.Backup_If_Due();
        QCOMPARE(copies(b.f.store), before);
        QCOMPARE(b.f.messages.shown.size(), 1);
        QVERIFY2(b.f.messages.shown.first().text.contains(QStringLiteral("検査")),
            qPrintable(b.f.messages.shown.first().text));

        spoil = false;
        b.f.store.Backup_If_Due();
        QStringList after = before.mid(1);
        after << copyName(kFirstDay.addDays(PropertyStore::kBackupsKept));
        QCOMPARE(copies(b.f.store), after);
        QCOMPARE(b.f.messages.shown.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBackups)
#include "TestBackups.moc"
