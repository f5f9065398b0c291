// Database files a user may put beside the program by mistake or that the
// machine may spoil: each is refused at start-up with one message that names
// the file and what is wrong, the menu still opens and the file is left byte
// for byte as it was. Also a read-only file, a folder closed for writing, a
// table laid out differently, and a lock held by another process.
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeEventPump.h"
#include "tests/fakes/FakeFileOpenDialog.h"
#include "tests/fakes/FakeGrid.h"
#include "tests/fakes/RecordingInputMethod.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/support/AppFixture.h"
#include "tests/support/FaultRecord.h"
#include "tests/support/FaultSupport.h"
#include "tests/support/TestDatabase.h"

#include "platform/PlatformError.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "screens/F_Main.h"
#include "store/PropertyStore.h"
#include "tests/support/FlyerSample.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Fixture : ScreenFixture
{
    explicit Fixture(const QString& folder)
        : ScreenFixture(folder)
        , menu(services())
    {
    }
    F_Main menu;
};

// The bytes of a prepared database holding `rows` properties, after `sql`,
// with every connection closed (so no WAL file is left beside it).
QByteArray preparedBytes(int rows, const QString& sql = QString())
{
    TestDatabase scratch;
    for (int seq = 0; seq < rows; ++seq)
        scratch.insert(faultRecord(seq));
    if (!sql.isEmpty())
        scratch.exec(sql);
    return fileBytes(scratch.path());
}

QByteArray randomBytes(int size, quint32 start)
{
    QRandomGenerator random(start);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Runs the fault driver (or, after "--tool", another program) as user
// nobody when the test runs as root, since permission bits do not bind root;
// as the test's own user otherwise.
struct AsUser
{
    AsUser()
    {
        if (::geteuid() != 0)
            return;
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty()) {
            skipReason
                = QStringLiteral("running as root without setpriv: cannot run the store as an unprivileged user");
            return;
        }
        // The driver is copied where user nobody may run it.
        driver = QDir(programs.path()).filePath(QStringLiteral("fudousan_fault_driver"));
        if (!QFile::copy(faultDriverPath(), driver)
            || !QFile::setPermissions(programs.path(),
                QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                    | QFileDevice::ExeOther))
            qFatal("cannot place the driver for user nobody");
        prefix = { setpriv, QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups") };
    }

    // The lines the program printed.
    QStringList run(QStringList arguments)
    {
        QStringList command = prefix;
        if (arguments.value(0) == QLatin1String("--tool"))
            command << arguments.mid(1);
        else
            command << driver << arguments;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), QDir::tempPath());
        process.setProcessEnvironment(env);
        process.start(command.takeFirst(), command);
        if (!process.waitForFinished(30000))
            qFatal("the driver did not finish");
        const QStringList said
            = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        qInfo("%s", qPrintable(said.join(QStringLiteral(" | "))));
        const QByteArray errors = process.readAllStandardError();
        if (!errors.isEmpty())
            qInfo("stderr: %s", errors.constData());
        return said;
    }

    QTemporaryDir programs;
    QString driver = faultDriverPath();
    QStringList prefix;
    QString skipReason;
};

// The -wal and -shm beside the database, with their permission bits.
QStringList sideFiles(const TestDatabase& db)
{
    QStringList found;
    for (const QString& side : { QStringLiteral("-shm"), QStringLiteral("-wal") }) {
        struct stat info;
        if (::lstat(QFile::encodeName(db.path() + side).constData(), &info) == 0)
            found << QStringLiteral("Fudousan.mdb%1 %2").arg(side).arg(info.st_mode & 0777, 0, 8);
    }
    return found;
}

} // namespace

class TestHostileDatabase : public QObject
{
    Q_OBJECT

private slots:
    void hostileFilesAreRefusedByNameAndLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("reasons"); // every one must be in the message

        const QByteArray good = preparedBytes(40);
        QByteArray corrupt = good;
        corrupt.replace(1 * 4096 + 8, 400, QByteArray(400, '\xA5')); // inside the root page of Fudousan

        QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        jet += randomBytes(4096 - jet.size(), 7);
        QByteArray sqliteHeaderOnly = good.left(100);
        QByteArray fakeHeader = good.left(100) + randomBytes(int(good.size()) - 100, 11);

        QTest::newRow("zero bytes") << QByteArray() << QStringList { QStringLiteral("空") };
        QTest::newRow("random bytes") << randomBytes(65536, 5)
                                      << QStringList { QStringLiteral("データベースファイルではありません") };
        QTest::newRow("text file") << QByteArray("物件一覧\t価格\n").repeated(200)
                                   << QStringList { QStringLiteral("データベースファイルではありません") };
        QTest::newRow("Jet 4.0") << jet
                                 << QStringList { QStringLiteral("Access"), QStringLiteral("Jet"),
                                        QStringLiteral("そのままでは開けません") };
        QTest::newRow("cut to half") << good.left(good.size() / 2) << QStringList { QStringLiteral("途中で切れて") };
        QTest::newRow("cut after one page") << good.left(4096) << QStringList { QStringLiteral("途中で切れて") };
        QTest::newRow("header only") << sqliteHeaderOnly << QStringList { QStringLiteral("途中で切れて") };
        QTest::newRow("header then noise") << fakeHeader << QStringList { QStringLiteral("壊れて") };
        QTest::newRow("damaged page") << corrupt << QStringList { QStringLiteral("壊れて") };
        // Made in rollback-journal mode: even the switch to WAL would change it.
        QTest::newRow("another table") << preparedBytes(0,
            QStringLiteral("PRAGMA journal_mode=DELETE; DROP TABLE Fudousan; "
                           "CREATE TABLE Bukken (Kakaku TEXT, Syozai TEXT);"))
                                       << QStringList { QStringLiteral("表 Fudousan がありません") };
        QTest::newRow("columns missing") << preparedBytes(3,
            QStringLiteral("PRAGMA journal_mode=DELETE; ALTER TABLE Fudousan DROP COLUMN Madori; "
                           "ALTER TABLE Fudousan DROP COLUMN Setubi_Gasu;"))
                                         << QStringList { QStringLiteral("Madori"), QStringLiteral("Setubi_Gasu") };
    }

    void hostileFilesAreRefusedByNameAndLeftUntouched()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, reasons);
        TestDatabase db(false);
        writeFile(db.path(), content);

        Fixture f(db.folder());
        f.menu.start();
        QVERIFY(f.menu.isVisible());
        QCOMPARE(f.messages.shown.size(), 1);
        const RecordingMessageBox::Shown& shown = f.messages.shown.first();
        qInfo(
            "%s", qPrintable(shown.text.section(QLatin1Char('\n'), 0, 1).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        QCOMPARE(shown.style, int(MB_Critical));
        QCOMPARE(shown.title, QStringLiteral("Zabrelo"));
        QVERIFY2(shown.text.count(db.path()) == 1, qPrintable(shown.text)); // named once
        for (const QString& reason : reasons)
            QVERIFY2(shown.text.contains(reason), qPrintable(shown.text));

        // Saving afterwards fails cleanly and still writes nothing.
        QVERIFY_THROWS_EXCEPTION(PlatformError, f.store.Save_Property(SampleEntryView(faultRecord(1))));
        QCOMPARE(f.messages.shown.size(), 1);
        QVERIFY(fileBytes(db.path()) == content);
        QVERIFY(!QFile::exists(db.path() + QStringLiteral("-journal")));
    }

    void aFolderInPlaceOfTheFileIsNamed()
    {
        TestDatabase db(false);
        QVERIFY(QDir(db.folder()).mkdir(QStringLiteral("Fudousan.mdb")));
        Fixture f(db.folder());
        f.menu.start();
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text.count(db.path()), 1);
        QVERIFY(f.messages.shown.first().text.contains(QStringLiteral("フォルダー")));
        QVERIFY(f.menu.isVisible());
    }

    // Columns are found by name: extra columns and another order still save
    // and read back, and a rollback-journal file is changed only by a save.
    void anotherColumnOrderWithExtraColumnsWorks()
    {
        TestDatabase db;
        QStringList reversed;
        for (int i = kColumnCount - 1; i >= 0; --i)
            reversed << QString::fromLatin1(kPropertyColumns[i]) + QStringLiteral(" TEXT");
        db.exec(QStringLiteral("PRAGMA journal_mode=DELETE; DROP TABLE Fudousan; CREATE TABLE Fudousan "
                               "(Bikou2 TEXT, %1, Kousin INTEGER DEFAULT 7);")
                    .arg(reversed.join(QStringLiteral(", "))));
        const QByteArray before = fileBytes(db.path());

        Fixture f(db.folder());
        f.menu.start();
        QVERIFY(f.messages.shown.isEmpty());
        QVERIFY(fileBytes(db.path()) == before); // opening and reading write nothing

        const PropertyRecord record = faultRecord(42);
        f.store.setMapImagePath(record[kMadoriIndex]);
        f.store.Save_Property(SampleEntryView(record));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().text, QStringLiteral("登録を完了しました。"));

        const auto rows = db.rows(); // read by column name, directly from the file
        QCOMPARE(rows.size(), size_t(1));
        for (int i = 0; i < kColumnCount; ++i)
            QCOMPARE(rows[0][i], std::optional<QString>(record[i]));
        QVERIFY(f.store.Run_Query(QStringLiteral("SELECT * FROM Fudousan WHERE Syozai = ?"), { record[kSyozaiIndex] }));
        for (int i = 0; i < kColumnCount; ++i)
            QCOMPARE(f.store.recordset().field(propertyColumn(i)), std::optional<QString>(record[i]));
        QCOMPARE(f.store.recordset().field(QStringLiteral("Kousin")), std::optional<QString>(QStringLiteral("7")));
        QCOMPARE(f.store.recordset().field(QStringLiteral("Bikou2")), std::optional<QString>());
    }

    // A second process holds the write lock: a save waits the engine's busy
    // time, then says the file is in use; once the lock is gone it succeeds.
    void aLockHeldElsewhereIsWaitedForThenReported()
    {
        TestDatabase db;
        db.insert(faultRecord(1));
        QProcess holder;
        holder.start(faultDriverPath(), { QStringLiteral("hold-lock"), db.folder() });
        QVERIFY(holder.waitForStarted(5000));
        QByteArray said;
        while (!said.contains('\n') && holder.waitForReadyRead(5000))
            said += holder.readAllStandardOutput();
        QCOMPARE(said, QByteArray("locked\n"));

        Fixture f(db.folder());
        f.menu.start();
        QVERIFY(f.messages.shown.isEmpty()); // reading is not blocked by a writer

        QElapsedTimer clock;
        clock.start();
        QString description;
        try {
            f.store.Save_Property(SampleEntryView(faultRecord(2)));
        } catch (const PlatformError& error) {
            description = error.description();
        }
        const qint64 waited = clock.elapsed();
        qInfo(
            "locked save: refused after %lld ms: %s", waited, qPrintable(description.section(QLatin1Char('\n'), 0, 0)));
        QVERIFY2(description.contains(QStringLiteral("使用中")), qPrintable(description));
        QVERIFY(description.contains(db.path()));
        QVERIFY(waited >= SqliteDatabaseEngine::kBusyTimeoutMs * 8 / 10);
        QVERIFY(waited < 60000); // it gives up rather than hang
        QVERIFY(f.messages.shown.isEmpty()); // no completion message

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(holder.exitCode(), 0);
        f.store.Save_Property(SampleEntryView(faultRecord(2)));
        const auto rows = db.rows();
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(rows[1][kSyozaiIndex], std::optional<QString>(faultKey(2)));
    }

    // Another copy of the program starts, saves and quits while this one
    // runs: it must see this copy at work on the file. SQLite tells that by
    // POSIX locks on the file and its shared-memory index, and closing any
    // descriptor of a file drops every such lock of the process; a check of
    // the file that opened and closed it would leave this copy's log and
    // index to be reset and removed under it.
    void anotherCopyStartingAndQuittingLeavesThisOneWhole()
    {
        TestDatabase db;
        db.insert(faultRecord(0));
        Fixture f(db.folder());
        QVERIFY(f.store.Open_Database());
        f.store.Save_Property(SampleEntryView(faultRecord(1)));
        FakeGrid grid;
        f.store.Fill_Property_List(grid);

        QProcess other;
        other.start(faultDriverPath(), { QStringLiteral("open-save"), db.folder() });
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.readAllStandardOutput(), QByteArray("open ok\nsave ok\n"));
        // The other copy was not the last to close the file: its log and
        // index stay for this one.
        QVERIFY(QFile::exists(db.path() + QStringLiteral("-shm")));

        f.store.Save_Property(SampleEntryView(faultRecord(2)));
        f.store.Fill_Property_List(grid);
        QCOMPARE(grid.rowCount() - 1, 4);
        f.store.Close_Database();
        QCOMPARE(pragmaOnFile(db.path(), QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        QCOMPARE(db.rowCount(), 4);
    }

    // Permission bits do not bind root, so the store runs in the driver
    // process as user nobody when the test runs as root. Once the file or
    // folder is opened again, the next run saves: a run that could only read
    // leaves no -wal or -shm behind with the modes of a read-only file.
    void readOnlyFileAndClosedFolderAreNamed_data()
    {
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("walFile");
        QTest::addColumn<QString>("openResult");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only file") << 0444 << 0777 << true << QStringLiteral("open ok")
                                        << QStringLiteral("読み取り専用");
        QTest::newRow("read-only file, rollback journal")
            << 0444 << 0777 << false << QStringLiteral("open ok") << QStringLiteral("読み取り専用");
        QTest::newRow("closed folder") << 0666 << 0555 << true << QStringLiteral("open failed")
                                       << QStringLiteral("フォルダー");
        QTest::newRow("closed folder, rollback journal")
            << 0666 << 0555 << false << QStringLiteral("open ok") << QStringLiteral("フォルダー");
    }

    void readOnlyFileAndClosedFolderAreNamed()
    {
        QFETCH(int, fileMode);
        QFETCH(int, folderMode);
        QFETCH(bool, walFile);
        QFETCH(QString, openResult);
        QFETCH(QString, reason);
        AsUser user;
        if (!user.skipReason.isEmpty())
            QSKIP(qPrintable(user.skipReason));

        TestDatabase db;
        for (int seq = 0; seq < 5; ++seq)
            db.insert(faultRecord(seq));
        if (!walFile)
            db.exec(QStringLiteral("PRAGMA journal_mode=DELETE;"));
        const auto rowsBefore = db.rows();
        const QByteArray bytesBefore = fileBytes(db.path());
        QVERIFY(!QFile::exists(db.path() + QStringLiteral("-wal")));

        QVERIFY(::chmod(QFile::encodeName(db.path()).constData(), mode_t(fileMode)) == 0);
        QVERIFY(::chmod(QFile::encodeName(db.folder()).constData(), mode_t(folderMode)) == 0);
        const QStringList said = user.run({ QStringLiteral("open-save"), db.folder() });
        ::chmod(QFile::encodeName(db.folder()).constData(), 0777);
        ::chmod(QFile::encodeName(db.path()).constData(), 0666);
        QCOMPARE(sideFiles(db), QStringList());

        QCOMPARE(said.size(), 2);
        QVERIFY2(said.at(0).startsWith(openResult), qPrintable(said.at(0)));
        QVERIFY2(said.at(1).startsWith(QStringLiteral("save failed")), qPrintable(said.at(1)));
        const QString told = said.at(openResult == QLatin1String("open ok") ? 1 : 0);
        QVERIFY2(told.contains(reason), qPrintable(told));
        QVERIFY2(told.contains(db.folder()), qPrintable(told));
        // Nothing stored is lost, and the file is as it was.
        QVERIFY(fileBytes(db.path()) == bytesBefore);
        QVERIFY(db.rows() == rowsBefore);
        QCOMPARE(pragmaOnFile(db.path(), QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));

        const QStringList again = user.run({ QStringLiteral("open-save"), db.folder() });
        QCOMPARE(again, (QStringList { QStringLiteral("open ok"), QStringLiteral("save ok") }));
        QCOMPARE(db.rowCount(), 6);
    }

    // Another program that could only read the file (here the sqlite3 tool)
    // left its -wal and -shm with the read-only file's modes: once the file
    // is writable again, the program sets them right and saves.
    void sideFilesLeftByAReaderDoNotStopTheNextSave()
    {
        AsUser user;
        if (!user.skipReason.isEmpty())
            QSKIP(qPrintable(user.skipReason));
        const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (sqlite3.isEmpty())
            QSKIP("the sqlite3 tool is not installed");
        TestDatabase db;
        db.insert(faultRecord(0));
        ::chmod(QFile::encodeName(db.folder()).constData(), 0777);
        ::chmod(QFile::encodeName(db.path()).constData(), 0444);
        user.run({ QStringLiteral("--tool"), sqlite3, db.path(), QStringLiteral("SELECT count(*) FROM Fudousan") });
        QCOMPARE(sideFiles(db),
            (QStringList { QStringLiteral("Fudousan.mdb-shm 444"), QStringLiteral("Fudousan.mdb-wal 444") }));

        ::chmod(QFile::encodeName(db.path()).constData(), 0666);

        // While another program holds the index, it stays, and the message
        // names the file to remove once that program has ended.
        const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
        if (!flock.isEmpty()) {
            QProcess holder;
            holder.start(flock,
                { QStringLiteral("--no-fork"), db.path() + QStringLiteral("-shm"), QStringLiteral("sleep"),
                    QStringLiteral("60") });
            QVERIFY(holder.waitForStarted());
            const auto holding = [] {
                QFile locks(QStringLiteral("/proc/locks"));
                return locks.open(QIODevice::ReadOnly) && locks.readAll().contains("FLOCK");
            };
            QTRY_VERIFY(holding());
            const QStringList held = user.run({ QStringLiteral("open-save"), db.folder() });
            ::kill(pid_t(holder.processId()), SIGTERM);
            holder.waitForFinished();
            QCOMPARE(held.size(), 2);
            QVERIFY2(held.at(1).startsWith(QStringLiteral("save failed"))
                    && held.at(1).contains(db.path() + QStringLiteral("-shm を削除して下さい")),
                qPrintable(held.at(1)));
        }

        const QStringList said = user.run({ QStringLiteral("open-save"), db.folder() });
        QCOMPARE(said, (QStringList { QStringLiteral("open ok"), QStringLiteral("save ok") }));
        QCOMPARE(db.rowCount(), 2);
    }

    // The file moved, deleted or replaced while the program runs: nothing is
    // written, no success is claimed, and a file put in its place stays whole.
    void aFileMovedOrReplacedWhileOpenIsNeverWritten_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("rm") << QStringLiteral("rm");
        QTest::newRow("mv away") << QStringLiteral("mv");
        QTest::newRow("cp a backup over it") << QStringLiteral("cp");
        QTest::newRow("mv a backup over it") << QStringLiteral("mv over");
    }

    void aFileMovedOrReplacedWhileOpenIsNeverWritten()
    {
        QFETCH(QString, change);
        TestDatabase db;
        for (int seq = 0; seq < 2; ++seq)
            db.insert(faultRecord(seq));
        const QByteArray backup = preparedBytes(1);
        const QString moved = QDir(db.folder()).filePath(QStringLiteral("moved.mdb"));
        Fixture f(db.folder());
        QVERIFY(f.store.Open_Database());
        f.store.Save_Property(SampleEntryView(faultRecord(2)));
        FakeGrid grid;
        f.store.Fill_Property_List(grid);

        if (change == QLatin1String("rm")) {
            QVERIFY(QFile::remove(db.path()));
        } else if (change == QLatin1String("mv")) {
            QVERIFY(QFile::rename(db.path(), moved));
        } else if (change == QLatin1String("cp")) {
            QFile file(db.path()); // the same file, its content replaced
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(file.write(backup), backup.size());
        } else {
            writeFile(moved, backup);
            QVERIFY(::rename(QFile::encodeName(moved).constData(), QFile::encodeName(db.path()).constData()) == 0);
        }

        const auto refused = [&](const std::function<void()>& step) {
            try {
                step();
            } catch (const PlatformError& error) {
                return error.description().contains(db.path())
                    && error.description().contains(QStringLiteral("起動し直して"));
            }
            return false;
        };
        f.messages.shown.clear();
        QVERIFY(refused([&] { f.store.Save_Property(SampleEntryView(faultRecord(3))); }));
        QVERIFY(refused([&] { f.store.Fill_Property_List(grid); }));
        grid.selection = { 1 };
        QVERIFY(refused([&] { f.store.Delete_Property(grid); }));
        QVERIFY(f.messages.shown.isEmpty()); // neither registered nor deleted
        f.store.Close_Database();

        QList<int> expected; // what the file at the path must hold now
        if (change == QLatin1String("rm") || change == QLatin1String("mv")) {
            QVERIFY(!QFile::exists(db.path()));
            if (change == QLatin1String("mv")) {
                QCOMPARE(pragmaOnFile(moved, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
                QCOMPARE(pragmaOnFile(moved, QStringLiteral("SELECT count(*) FROM Fudousan")), QStringLiteral("3"));
            }
            return;
        }
        QCOMPARE(pragmaOnFile(db.path(), QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        const auto rows = db.rows();
        QCOMPARE(int(rows.size()), 1);
        QCOMPARE(rows.front()[kSyozaiIndex], std::optional<QString>(faultKey(0)));
    }

    // A start-up on a full disk: the one message says so. The disk is a
    // small tmpfs mounted for this test (root only), filled to the last byte.
    void aStartUpOnAFullDiskSaysTheDiskIsFull()
    {
        TestDatabase source;
        {
            StoreFixture writer(source.folder()); // leaves the file in WAL mode, closed
            writer.openOrDie();
            writer.store.Save_Property(SampleEntryView(faultRecord(0)));
        }
        QTemporaryDir mountPoint;
        if (::geteuid() != 0
            || QProcess::execute(QStringLiteral("mount"),
                   { QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QStringLiteral("size=512k"),
                       QStringLiteral("tmpfs"), mountPoint.path() })
                != 0)
            QSKIP("cannot mount a small tmpfs here (needs root and mount rights)");
        const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), { mountPoint.path() }); });
        const QString path = QDir(mountPoint.path()).filePath(QStringLiteral("Fudousan.mdb"));
        writeFile(path, fileBytes(source.path()));
        QFile filler(QDir(mountPoint.path()).filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) { }
        filler.close();
        const QByteArray before = fileBytes(path);

        Fixture f(mountPoint.path());
        f.menu.start();
        QVERIFY(f.menu.isVisible());
        QCOMPARE(f.messages.shown.size(), 1);
        qInfo("start-up on a full disk says: %s", qPrintable(f.messages.shown.first().text));
        QVERIFY2(f.messages.shown.first().text.contains(QStringLiteral("ディスクがいっぱい")),
            qPrintable(f.messages.shown.first().text));
        QCOMPARE(f.messages.shown.first().style, 16);
        f.store.Close_Database();
        QVERIFY(fileBytes(path) == before);
    }
};

QTEST_MAIN(TestHostileDatabase)
#include "TestHostileDatabase.moc"
