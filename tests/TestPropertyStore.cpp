// The store's connection and current row set: what opens, what is refused,
// what a failed query leaves behind; which column each box is saved to and
// loaded from.
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TestDatabase.h"

#include "platform/PlatformError.h"
#include "platform/desktop/DatabaseLocation.h"
#include "platform/desktop/QtAppEnvironment.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "store/PropertyStore.h"
#include "tests/support/FlyerSample.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

namespace {

// Box index to column, written out here rather than read from the store's own
// table, so that two entries swapped there still show.
const std::pair<int, const char*> kBoxColumns[] = {
    { 0, "Kakaku" },
    { 1, "Syozai" },
    { 2, "Koutu" },
    { 3, "Toti_Meitoru" },
    { 4, "Toti_Tubo" },
    { 5, "Tatemono_Meitoru" },
    { 6, "Tatemono_Tubo" },
    { 7, "Timoku_Touki" },
    { 8, "Timoku_Genkyou" },
    { 9, "Tatemono_Kouzou" },
    { 10, "Tatemono_Kouhou" },
    { 11, "Tosikeikaku_Youto" },
    { 12, "Kenpeiritu" },
    { 13, "Yousekiritu" },
    { 14, "Douro_Syurui" },
    { 15, "Douro_Houi" },
    { 16, "Douro_Habain" },
    { 17, "Douro_Maguti" },
    { 18, "Setubi_Suidou" },
    { 19, "Setubi_Denki" },
    { 20, "Setubi_Haisui" },
    { 21, "Setubi_Gasu" },
    { 22, "Hikiwatasi" },
    { 23, "Setubi" },
    { 24, "Keitai" },
    { 25, "Tyuukai" },
    { 26, "No_Fudousan" },
    { 27, "Name_Text" },
    { 28, "Madori" },
};

} // namespace

class TestPropertyStore : public QObject
{
    Q_OBJECT

private:
    using Fixture = StoreFixture;

private slots:
    void opensThePreparedDatabaseBesideTheExecutable()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase db;
        // The working directory must not matter: move it elsewhere, and back
        // whatever the checks say.
        TestDatabase elsewhere;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(elsewhere.folder());
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });

        // The real environment answers the executable's folder, not the
        // working directory.
        QtAppEnvironment real;
        QCOMPARE(real.applicationDirectory(), QFileInfo(QCoreApplication::applicationFilePath()).absolutePath());
        QVERIFY(real.applicationDirectory() != QDir::currentPath());

        Fixture f(db.folder());
        QCOMPARE(f.store.databasePath(), db.path());
        QVERIFY(f.store.Open_Database());
        QVERIFY(f.store.openFailure().isEmpty());
        QVERIFY(f.store.isOpen());
        QVERIFY(f.messages.shown.isEmpty()); // the store itself never shows anything
    }

    // Where the database is: beside the executable, in the per-user folder of
    // an installed program, or (with neither) beside the executable again.
    void aDatabaseBesideTheExecutableWinsOverAnInstallation()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase portable;
        TestDatabase prepared;
        QTemporaryDir home;
        const QString user = home.filePath(QStringLiteral("data/Fudousan"));
        const DatabaseLocation at = locateDatabase(portable.folder(), prepared.path(), user);
        QCOMPARE(at.directory, portable.folder());
        QVERIFY(!at.installed);
        QVERIFY(!QFileInfo::exists(user));
    }

    void anInstalledProgramPlacesThePreparedDatabaseOnlyOnItsFirstStart()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase prepared;
        TestDatabase bin(false);
        QTemporaryDir home;
        const QString user = home.filePath(QStringLiteral("share/Quintaveli/Fudousan"));

        const DatabaseLocation first = locateDatabase(bin.folder(), prepared.path(), user);
        QCOMPARE(first.directory, user);
        QVERIFY(first.installed && first.placed && first.failure.isEmpty());
        QVERIFY(!QFileInfo::exists(bin.path()));
        QCOMPARE(
            QDir(home.filePath(QStringLiteral("share/Quintaveli"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList { QStringLiteral("Fudousan") }); // nothing left of the staging folder
        Fixture f(user);
        f.openOrDie();
        f.store.Save_Property(SampleEntryView(TestDatabase::distinctRecord(QStringLiteral("kept"))));

        // The next start keeps the user's file and its row.
        const DatabaseLocation second = locateDatabase(bin.folder(), prepared.path(), user);
        QCOMPARE(second.directory, user);
        QVERIFY(second.installed && !second.placed);
        QCOMPARE(prepared.rowCount(), 0);
        Fixture g(user);
        g.openOrDie();
        QVERIFY(g.store.Run_Query(QStringLiteral("SELECT * FROM Fudousan")));
        QVERIFY(!g.store.recordset().atEnd());

        // A file lost from an existing folder is reported, never replaced.
        QVERIFY(QFile::remove(QDir(user).filePath(QStringLiteral("Fudousan.mdb"))));
        const DatabaseLocation third = locateDatabase(bin.folder(), prepared.path(), user);
        QVERIFY(third.installed && !third.placed);
        Fixture h(third.directory);
        QVERIFY(!h.store.Open_Database());
        QVERIFY(h.store.openFailure().contains(QStringLiteral("ありません")));
        QVERIFY(!QFileInfo::exists(h.store.databasePath()));
    }

    // The settings file follows the database: a portable folder keeps its
    // own; an installed program reads the user's, then the system's.
    void anInstalledProgramReadsTheUsersSettingsThenTheSystems()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase prepared;
        TestDatabase bin(false);
        QTemporaryDir config;
        const QString user = config.filePath(QStringLiteral("user"));
        const QString system = config.filePath(QStringLiteral("system"));
        const auto writeSettings = [](const QString& folder) {
            QDir().mkpath(folder);
            QFile file(QDir(folder).filePath(QStringLiteral("Fudousan.ini")));
            QVERIFY(file.open(QIODevice::WriteOnly));
        };
        const QStringList folders { user, system };
        QCOMPARE(locateSettings(bin.folder(), prepared.path(), folders), QString());
        writeSettings(system);
        QCOMPARE(locateSettings(bin.folder(), prepared.path(), folders), system + QStringLiteral("/Fudousan.ini"));
        writeSettings(user);
        QCOMPARE(locateSettings(bin.folder(), prepared.path(), folders), user + QStringLiteral("/Fudousan.ini"));

        TestDatabase portable;
        QCOMPARE(locateSettings(portable.folder(), prepared.path(), folders),
            portable.folder() + QStringLiteral("/Fudousan.ini"));
        writeSettings(bin.folder());
        QCOMPARE(
            locateSettings(bin.folder(), prepared.path(), folders), bin.folder() + QStringLiteral("/Fudousan.ini"));
    }

    void withoutAnInstallationTheExecutablesFolderIsUsed()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase bin(false);
        QTemporaryDir home;
        const QString user = home.filePath(QStringLiteral("Fudousan"));
        const DatabaseLocation at
            = locateDatabase(bin.folder(), bin.folder() + QStringLiteral("/../share/none.mdb"), user);
        QCOMPARE(at.directory, bin.folder());
        QVERIFY(!at.installed);
        QVERIFY(!QFileInfo::exists(user));
    }

    void aFirstStartThatCannotWriteSaysWhyAndLeavesNoFolder()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase prepared;
        TestDatabase bin(false);
        QTemporaryDir home;
        QFile blocker(home.filePath(QStringLiteral("share")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where a folder must go
        blocker.close();
        const QString user = home.filePath(QStringLiteral("share/Fudousan"));
        const DatabaseLocation at = locateDatabase(bin.folder(), prepared.path(), user);
        QVERIFY(at.installed && !at.placed);
        QVERIFY(at.failure.contains(home.filePath(QStringLiteral("share"))));
        QCOMPARE(at.directory, user);
        // The start-up failure then says why the file is missing.
        Fixture f(at.directory);
        f.environment.placementFailure = at.failure;
        QVERIFY(!f.store.Open_Database());
        QVERIFY(f.store.openFailure().contains(at.failure));
    }

    void refusesWhatIsNotAPropertyDatabase_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QString() << QStringLiteral("ありません");
        QTest::newRow("other table") << QStringLiteral("DROP TABLE Fudousan; CREATE TABLE Other (a TEXT);")
                                     << QStringLiteral("Fudousan");
        QTest::newRow("column missing") << QStringLiteral("ALTER TABLE Fudousan DROP COLUMN Madori;")
                                        << QStringLiteral("Madori");
    }

    void refusesWhatIsNotAPropertyDatabase()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        TestDatabase db(!setup.isEmpty());
        if (!setup.isEmpty())
            db.exec(setup);
        Fixture f(db.folder());
        QVERIFY(!f.store.Open_Database());
        QVERIFY2(f.store.openFailure().contains(reason), qPrintable(f.store.openFailure()));
        if (!TestDatabase::server())
            QCOMPARE(QFile::exists(db.path()), !setup.isEmpty()); // a missing file stays missing
        // Every later statement fails, through the result only.
        QVERIFY(!f.store.Run_Query(QStringLiteral("SELECT * FROM Fudousan")));
        QVERIFY(!f.store.Open_Property_Table());
        QVERIFY(f.messages.shown.isEmpty());
    }

    void columnsAreFoundByNameInAnyOrder()
    {
        TestDatabase db;
        QStringList columns { QStringLiteral("Extra INTEGER") };
        for (int i = kColumnCount - 1; i >= 0; --i)
            columns << QString::fromLatin1(kPropertyColumns[i]) + QStringLiteral(" TEXT");
        db.replaceTable(columns);
        Fixture f(db.folder());
        QVERIFY2(f.store.Open_Database(), qPrintable(f.store.openFailure()));
    }

    void failedQueryKeepsThePreviousRowSet()
    {
        TestDatabase db;
        PropertyRecord r = TestDatabase::distinctRecord(QStringLiteral("1"));
        r[kSyozaiIndex] = QStringLiteral("東京都港区1-1 'quoted'");
        db.insert(r);
        Fixture f(db.folder());
        QVERIFY(f.store.Open_Database());

        QVERIFY(f.store.Run_Query(QStringLiteral("SELECT * FROM Fudousan WHERE Syozai = ?"), { r[kSyozaiIndex] }));
        RowSet* before = &f.store.recordset();
        QVERIFY(!f.store.Run_Query(QStringLiteral("SELECT * FROM NoSuchTable")));
        QCOMPARE(&f.store.recordset(), before);
        QCOMPARE(f.store.recordset().field(QStringLiteral("Syozai")).value(), r[kSyozaiIndex]);
    }

    void eachBoxIsSavedToAndLoadedFromItsOwnColumn()
    {
        TestDatabase db;
        QStringList columns;
        for (const auto& [box, column] : kBoxColumns)
            columns << QString::fromLatin1(column) + QStringLiteral(" TEXT");
        db.replaceTable(columns);
        Fixture f(db.folder());
        f.openOrDie();

        SampleEntryView typed;
        for (int i = 0; i < kBoxCount; ++i)
            typed.setBoxText(i, QStringLiteral("box %1").arg(i));
        f.store.setMapImagePath(QStringLiteral("box 28"));
        f.store.Save_Property(typed);
        for (const auto& [box, column] : kBoxColumns)
            QCOMPARE(
                db.value(QStringLiteral("SELECT %1 FROM Fudousan").arg(column)), QStringLiteral("box %1").arg(box));

        db.exec(QStringLiteral("DELETE FROM Fudousan"));
        QStringList names, values;
        for (const auto& [box, column] : kBoxColumns) {
            names << QString::fromLatin1(column);
            values << QStringLiteral("'%1'").arg(QString::fromLatin1(column));
        }
        db.exec(QStringLiteral("INSERT INTO Fudousan (%1) VALUES (%2)").arg(names.join(','), values.join(',')));
        SampleEntryView loaded;
        f.store.Load_Property(db.value(QStringLiteral("SELECT rowid FROM Fudousan")).value_or(QString()), loaded);
        for (const auto& [box, column] : kBoxColumns) {
            const QString shown = box < kBoxCount ? loaded.boxText(box) : f.store.mapImagePath();
            QCOMPARE(shown, QString::fromLatin1(column));
        }
    }

    // The list's 表示 leaves the loaded row current; 印刷 must not read it as
    // the answer of an existence test that failed.
    void aFailedExistenceTestPrintsNothingWhateverRowSetIsLeft()
    {
        TestDatabase db;
        const PropertyRecord stored = TestDatabase::distinctRecord(QStringLiteral("stored"));
        db.insert(stored);
        Fixture f(db.folder());
        f.openOrDie();
        SampleEntryView screen;
        f.store.Load_Property(db.value(QStringLiteral("SELECT rowid FROM Fudousan")).value_or(QString()), screen);
        QVERIFY(!f.store.recordset().atEnd());

        db.exec(QStringLiteral("ALTER TABLE Fudousan RENAME TO Elsewhere"));
        int printed = 0;
        QVERIFY_THROWS_EXCEPTION(
            PlatformError, f.store.Save_If_New_And_Print(QStringLiteral("新しい所在"), screen, [&] { ++printed; }));
        QCOMPARE(printed, 0);
        QVERIFY(f.messages.shown.isEmpty());
    }

    // A kill keeps the page cache, so only the settings show that a saved row
    // would also survive a power cut.
    void theStoresConnectionWritesThroughToTheDisk()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase db;
        Fixture f(db.folder());
        f.openOrDie();
        f.store.Save_Property(SampleEntryView(TestDatabase::distinctRecord(QStringLiteral("1"))));
        auto pragma = [&](const QString& name) {
            return f.store.connection().execute(QStringLiteral("PRAGMA ") + name)->field(name).value_or(QString());
        };
        QCOMPARE(pragma(QStringLiteral("synchronous")), QStringLiteral("2")); // FULL
        const QStringList durable = { QStringLiteral("wal"), QStringLiteral("delete"), QStringLiteral("truncate"),
            QStringLiteral("persist") };
        QVERIFY2(durable.contains(pragma(QStringLiteral("journal_mode")).toLower()),
            qPrintable(pragma(QStringLiteral("journal_mode"))));
    }

    void emptyRowSetIsAClosedOneThatFails()
    {
        TestDatabase db;
        Fixture f(db.folder());
        QVERIFY(f.store.Open_Database());
        QVERIFY(!f.store.hasRecordset());
        QVERIFY_THROWS_EXCEPTION(PlatformError, f.store.recordset().atEnd());
        QVERIFY_THROWS_EXCEPTION(PlatformError, f.store.recordset().addNew());
        QVERIFY(f.store.Open_Property_Table());
        QVERIFY(f.store.recordset().atEnd()); // the table cursor over an empty table
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TestPropertyStore test;
    return TestDatabase::runOnBothEngines(test, argc, argv);
}
#include "TestPropertyStore.moc"
