// Daily backups: a complete copy beside the database once a day, the last 14
// kept, and a failure that touches neither the database nor older copies.
#include "tests/support/AppFixture.h"
#include "tests/support/FaultRecord.h"
#include "tests/support/FaultSupport.h"
#include "tests/support/TestDatabase.h"

#include "store/PropertyStore.h"
#include "tests/fakes/FakeClock.h"

#include <QDir>
#include <QTest>

namespace {

const QDate kFirstDay(2026, 3, 1);

QString copyName(const QDate& day)
{
    return QStringLiteral("Fudousan-%1.mdb").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

QStringList copies(const PropertyStore& store)
{
    return QDir(store.backupFolder()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
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
};

QTEST_GUILESS_MAIN(TestBackups)
#include "TestBackups.moc"
