// The store on a PostgreSQL server (a private one started for this test):
// the start-up message, the desktops' role, a server that stops or freezes
// in the middle of a session, several desktops saving at once, desktops
// killed while saving, the copy tool and TLS. The behaviours the file and the
// server share run in TestPropertyList on both engines.
#include "tests/fakes/FakeGrid.h"
#include "tests/support/AppFixture.h"
#include "tests/support/FaultRecord.h"
#include "tests/support/FaultSupport.h"
#include "tests/support/JetFixture.h"
#include "tests/support/PgTestServer.h"
#include "tests/support/TestDatabase.h"

#include "app/DatabaseChoice.h"
#include "conversion/JetConversion.h"
#include "platform/PlatformError.h"
#include "platform/desktop/PosixFileSystem.h"
#include "platform/jet/MdbJetReader.h"
#include "platform/postgres/PostgresDatabaseEngine.h"
#include "platform/sqlite/SqliteDatabaseBuilder.h"
#include "screens/F_Main.h"
#include "screens/FailureBoundary.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

#include <signal.h>

namespace {

std::unique_ptr<DatabaseEngine> serverEngine(const QString& conninfo)
{
    return std::make_unique<PostgresDatabaseEngine>(conninfo);
}

int runTool(const QStringList& arguments, QString* output = nullptr)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QDir(QStringLiteral(FUDOUSAN_BIN_DIR)).filePath(QStringLiteral("fudousan_copy_database")), arguments);
    tool.waitForFinished(120000);
    if (output)
        *output = QString::fromUtf8(tool.readAll());
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

// Checks that every stored row is one of the fault records, whole, once.
QSet<int> storedSequences(const TestDatabase& db, QString* problem)
{
    QSet<int> stored;
    for (const auto& row : db.rows()) {
        const int seq = row[kSyozaiIndex] ? faultSequence(*row[kSyozaiIndex]) : -1;
        const PropertyRecord expected = faultRecord(seq);
        for (int i = 0; i < kColumnCount && problem->isEmpty(); ++i) {
            if (seq < 0 || stored.contains(seq) || row[i] != std::optional<QString>(expected[i]))
                *problem = QStringLiteral("torn, doubled or foreign row: %1").arg(row[kSyozaiIndex].value_or("NULL"));
        }
        stored.insert(seq);
    }
    return stored;
}

// What a message about a write whose outcome is unknown begins with.
const QString kCannotTell = QStringLiteral("この処理が済んだかどうかは分かりません。");

} // namespace

class TestPostgresStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PgTestServer> m_server;

    QString desktop() const { return m_server->conninfo(QStringLiteral("fudousan_desktop")); }

    // The server's processes: the postmaster and every process it started.
    QList<pid_t> serverProcesses() const
    {
        QList<pid_t> pids { pid_t(m_server->pid()) };
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (name) state ppid ...": the name may hold blanks.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (after.size() > 1 && after.at(1).toLongLong() == m_server->pid())
                pids << pid_t(entry.toLongLong());
        }
        return pids;
    }

    // Makes every `event` (INSERT, DELETE) on the table end its own
    // connection while the statement runs, as a server stopped or a network
    // cut at that moment would.
    // The backend ends itself while a statement on "Fudousan" runs (before
    // `event` touches a row), or, with `atCommit`, while its transaction
    // commits (a deferred trigger).
    void cutTheConnectionOn(const QString& event, bool atCommit = false) const
    {
        m_server->exec(
            QStringLiteral(
                "CREATE FUNCTION cut_connection() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS $$ "
                "BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); RETURN COALESCE(NEW, OLD); "
                "END $$; ")
            + (atCommit ? QStringLiteral("CREATE CONSTRAINT TRIGGER cut AFTER %1 ON \"Fudousan\" DEFERRABLE "
                                         "INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION cut_connection();")
                        : QStringLiteral("CREATE TRIGGER cut BEFORE %1 ON \"Fudousan\" FOR EACH ROW "
                                         "EXECUTE FUNCTION cut_connection();"))
                  .arg(event));
    }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<PgTestServer>();
        if (!m_server->isRunning())
            QSKIP(qPrintable(QStringLiteral("no private PostgreSQL server: ") + m_server->skipReason()));
    }

    void init() { m_server->resetDatabase(); }

    void theSchemaIsTheTableTheStoreExpects()
    {
        const QStringList columns
            = m_server->exec(QStringLiteral("SELECT column_name || ' ' || data_type FROM information_schema.columns "
                                            "WHERE table_name = 'Fudousan' ORDER BY ordinal_position"));
        QStringList expected { QStringLiteral("rowid bigint") };
        for (const char* c : kPropertyColumns)
            expected << QString::fromLatin1(c) + QStringLiteral(" text");
        QCOMPARE(columns, expected);
        QCOMPARE(m_server->exec(QStringLiteral("SELECT indexdef FROM pg_indexes WHERE indexname = 'Fudousan_Syozai'"))
                     .size(),
            1);
        // The deleted properties: the moment, then the same 29 columns.
        QStringList deleted { QStringLiteral("rowid bigint"), QStringLiteral("Sakuzyo_Nitizi text") };
        deleted += expected.mid(1);
        QCOMPARE(m_server->exec(QStringLiteral("SELECT column_name || ' ' || data_type FROM information_schema.columns "
                                               "WHERE table_name = 'Fudousan_Sakuzyo' ORDER BY ordinal_position")),
            deleted);
        QCOMPARE(m_server->exec(QStringLiteral(
                     "SELECT table_name || ' ' || string_agg(privilege_type, ',' ORDER BY privilege_type) "
                     "FROM information_schema.role_table_grants "
                     "WHERE grantee = 'fudousan_desktop' GROUP BY table_name ORDER BY table_name")),
            (QStringList { QStringLiteral("Fudousan DELETE,INSERT,SELECT"),
                QStringLiteral("Fudousan_Sakuzyo DELETE,INSERT,SELECT") }));
    }

    // A database made before deleted properties were kept: the list and
    // the rest work, 削除 deletes nothing and says who can make the table.
    void aServerWithoutTheDeletedTableRefusesToDeleteAndSaysWhy()
    {
        m_server->exec(QStringLiteral("DROP TABLE \"Fudousan_Sakuzyo\""));
        StoreFixture f(QDir::tempPath(), serverEngine(desktop()));
        f.openOrDie();
        f.store.Save_Property(SampleEntryView(faultRecord(1)));
        FakeGrid grid;
        f.store.Fill_Property_List(grid);
        QVERIFY(f.store.Deleted_Properties().empty());
        grid.selection = { 1 };
        try {
            f.store.Delete_Property(grid);
            QFAIL("deleted without keeping");
        } catch (const PlatformError& e) {
            QVERIFY2(e.description().contains(QStringLiteral("Fudousan_Sakuzyo"))
                    && e.description().contains(QStringLiteral("管理者")),
                qPrintable(e.description()));
        }
        QCOMPARE(
            m_server->exec(QStringLiteral("SELECT count(*) FROM \"Fudousan\"")), QStringList { QStringLiteral("1") });
    }

    void theDesktopRoleMayOnlyReadRegisterAndDelete()
    {
        auto engine = serverEngine(desktop());
        auto c = engine->createConnection();
        c->open(QString());
        c->execute(QStringLiteral("INSERT INTO Fudousan (Syozai) VALUES (?)"), { QStringLiteral("a") });
        for (const QString& sql : { QStringLiteral("UPDATE Fudousan SET Kakaku = 'x'"),
                 QStringLiteral("TRUNCATE Fudousan"), QStringLiteral("DROP TABLE Fudousan") }) {
            try {
                c->execute(sql);
                QFAIL(qPrintable(sql + QStringLiteral(" was allowed")));
            } catch (const PlatformError& e) {
                QVERIFY2(e.description().contains(QStringLiteral("権限")), qPrintable(e.description()));
            }
        }
        c->execute(QStringLiteral("DELETE FROM Fudousan WHERE Syozai = ?"), { QStringLiteral("a") });
        QVERIFY(c->execute(QStringLiteral("SELECT * FROM Fudousan"))->atEnd());
    }

    void startUpSaysWhichServerAndWhyButNeverThePassword_data()
    {
        QTest::addColumn<QString>("setup"); // "no table", "no column", "down", "password"
        QTest::addColumn<QString>("reason");
        QTest::newRow("no table") << QStringLiteral("no table") << QStringLiteral("表 Fudousan がありません");
        QTest::newRow("column missing") << QStringLiteral("no column") << QStringLiteral("Madori");
        QTest::newRow("server not there") << QStringLiteral("down") << QStringLiteral("接続できません");
        QTest::newRow("password in the setting") << QStringLiteral("password") << QStringLiteral("パスワード");
    }

    void startUpSaysWhichServerAndWhyButNeverThePassword()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        QString conninfo = desktop();
        if (setup == QLatin1String("no table")) {
            m_server->resetDatabase(false);
            m_server->exec(
                QStringLiteral("CREATE ROLE fudousan_desktop LOGIN; GRANT USAGE ON SCHEMA public TO fudousan_desktop"));
        } else if (setup == QLatin1String("no column"))
            m_server->exec(QStringLiteral("ALTER TABLE \"Fudousan\" DROP COLUMN \"Madori\""));
        else if (setup == QLatin1String("down"))
            conninfo.replace(
                QStringLiteral("port=%1").arg(m_server->port()), QStringLiteral("port=%1").arg(m_server->port() + 1));
        else
            conninfo += QStringLiteral(" password=Hid'den7");
        ScreenFixture f(QDir::tempPath(), serverEngine(conninfo));
        F_Main menu(f.services());
        menu.start();
        QCOMPARE(f.messages.shown.size(), 1);
        const auto& shown = f.messages.shown.first();
        QCOMPARE(shown.style, 16);
        QCOMPARE(shown.title, QStringLiteral("Zabrelo"));
        QVERIFY2(shown.text.contains(reason), qPrintable(shown.text));
        QVERIFY2(shown.text.contains(m_server->socketFolder())
                && shown.text.contains(QStringLiteral("データベース fudousan")),
            qPrintable(shown.text));
        QVERIFY2(!shown.text.contains(QStringLiteral("Hid")), qPrintable(shown.text));
        QVERIFY(menu.isVisible());
    }

    // With the server out of reach at start-up, a Windows program's Access
    // file where the local database would be is not the program's database:
    // it is neither offered for conversion nor touched.
    void aServerOutOfReachLeavesTheLocalFileAlone()
    {
        QTemporaryDir folder;
        const QString jet = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), folder.path());
        QString conninfo = desktop();
        conninfo.replace(
            QStringLiteral("port=%1").arg(m_server->port()), QStringLiteral("port=%1").arg(m_server->port() + 1));
        ScreenFixture f(folder.path(), serverEngine(conninfo));
        f.messages.answerYes = true;
        MdbJetReader reader;
        SqliteDatabaseBuilder builder;
        PosixFileSystem files;
        JetConversion conversion(reader, builder, files);
        ScreenServices services = f.services();
        services.jetConversion = &conversion;
        F_Main menu(services);
        menu.start();
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown.first().style, 16);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList { QStringLiteral("Fudousan.mdb") });
        QCOMPARE(fileHash(jet), fileHash(jetData(QStringLiteral("fudousan-jet4-2000.mdb"))));
    }

    void theSettingsFileChoosesTheServer()
    {
        QTemporaryDir dir;
        const QString settings = dir.filePath(QStringLiteral("Fudousan.ini"));
        QCOMPARE(chooseDatabaseEngine(settings)->describeDatabase(QStringLiteral("/x/Fudousan.mdb")),
            QStringLiteral("/x/Fudousan.mdb"));
        QCOMPARE(chooseDatabaseEngine(QString())->describeDatabase(QStringLiteral("/x/Fudousan.mdb")),
            QStringLiteral("/x/Fudousan.mdb"));
        QFile ini(settings);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Database]\nServer=postgresql://db1,db2:6543/office?sslmode=verify-full\n");
        ini.close();
        QCOMPARE(
            databaseServerSetting(settings), QStringLiteral("postgresql://db1,db2:6543/office?sslmode=verify-full"));
        const QString label = chooseDatabaseEngine(settings)->describeDatabase(QString());
        QVERIFY2(
            label.contains(QStringLiteral("db1,db2")) && label.contains(QStringLiteral("office")), qPrintable(label));
    }

    void aServerThatStopsMidSessionIsReportedThenUsedAgain()
    {
        StoreFixture f(QDir::tempPath(), serverEngine(desktop()));
        f.openOrDie();
        const SampleEntryView first(faultRecord(1));
        f.store.Save_Property(first);
        FakeGrid grid;

        m_server->stop();
        QElapsedTimer clock;
        clock.start();
        f.messages.shown.clear();
        try {
            f.store.Save_Property(SampleEntryView(faultRecord(2)));
            QFAIL("a save without a server succeeded");
        } catch (const PlatformError& e) {
            QVERIFY2(e.description().contains(QStringLiteral("接続")), qPrintable(e.description()));
        }
        QVERIFY(f.messages.shown.isEmpty()); // no completion claimed
        QVERIFY_THROWS_EXCEPTION(PlatformError, f.store.Fill_Property_List(grid));
        QVERIFY(clock.elapsed() < 12000);

        QVERIFY(m_server->start());
        f.store.Fill_Property_List(grid); // no restart of the program
        QCOMPARE(grid.column(1), QStringList { faultKey(1) });
        f.store.Save_Property(SampleEntryView(faultRecord(3)));
        QCOMPARE(m_server->exec(QStringLiteral("SELECT \"Syozai\" FROM \"Fudousan\" ORDER BY rowid")),
            (QStringList { faultKey(1), faultKey(3) }));

        // Restarted while the program sat idle: the next action just works.
        m_server->stop();
        QVERIFY(m_server->start());
        f.store.Fill_Property_List(grid);
        QCOMPARE(grid.column(1), (QStringList { faultKey(1), faultKey(3) }));
    }

    // A backend that stops answering (SIGSTOP), or the whole server with it:
    // each action gives up within the stated time, once, however many
    // statements it would have run.
    void everyActionGivesUpWithinTheStatedTime_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("wholeServer");
        QTest::newRow("save, backend stopped") << QStringLiteral("save") << false;
        QTest::newRow("list, backend stopped") << QStringLiteral("list") << false;
        QTest::newRow("delete, backend stopped") << QStringLiteral("delete") << false;
        QTest::newRow("delete, server stopped") << QStringLiteral("delete") << true;
    }

    void everyActionGivesUpWithinTheStatedTime()
    {
        QFETCH(QString, action);
        QFETCH(bool, wholeServer);
        StoreFixture f(QDir::tempPath(), serverEngine(desktop()));
        f.openOrDie();
        f.store.Save_Property(SampleEntryView(faultRecord(1)));
        FakeGrid grid;
        f.store.Fill_Property_List(grid);
        grid.selection = { 1 };
        f.messages.shown.clear();
        QVERIFY(f.store.Run_Query(QStringLiteral("SELECT pg_backend_pid() AS pid")));
        const pid_t backend = f.store.recordset().field(QStringLiteral("pid"))->toInt();
        const QList<pid_t> stopped = wholeServer ? serverProcesses() : QList<pid_t> { backend };
        for (pid_t pid : stopped)
            ::kill(pid, SIGSTOP);
        const auto resumeAll = [&] {
            for (pid_t pid : stopped)
                ::kill(pid, SIGCONT);
        };
        auto resume = qScopeGuard(resumeAll);

        QElapsedTimer clock;
        clock.start();
        const bool done = runHandler(f.messages, [&] {
            if (action == QLatin1String("save"))
                f.store.Save_Property(SampleEntryView(faultRecord(2)));
            else if (action == QLatin1String("list"))
                f.store.Fill_Property_List(grid);
            else
                f.store.Delete_Property(grid);
        });
        const qint64 waited = clock.elapsed();
        QVERIFY(!done);
        QCOMPARE(f.messages.shown.size(), 1);
        qInfo("%s gave up after %lld ms: %s", qPrintable(action), waited, qPrintable(f.messages.shown.first().text));
        QVERIFY2(waited < PostgresDatabaseEngine::kTimeoutSeconds * 1000 + 800, qPrintable(QString::number(waited)));
        QVERIFY2(f.messages.shown.first().text.contains(QString::number(PostgresDatabaseEngine::kTimeoutSeconds)),
            qPrintable(f.messages.shown.first().text));
        if (action == QLatin1String("delete")) // a write that may have been done says so first
            QVERIFY2(f.messages.shown.first().text.startsWith(kCannotTell), qPrintable(f.messages.shown.first().text));
        resume.dismiss();
        resumeAll();
        QTest::qWait(1000);
        f.store.Fill_Property_List(grid); // once the server answers, the next action works
    }

    // The connection is cut while the statement runs on the server (its
    // backend ends itself from a trigger): the save is never reported as
    // stored, and the message first says that it cannot tell.
    void aSaveCutOffMidStatementIsNeverReportedStored()
    {
        cutTheConnectionOn(QStringLiteral("INSERT"));
        StoreFixture f(QDir::tempPath(), serverEngine(desktop()));
        f.openOrDie();
        QVERIFY(!runHandler(f.messages, [&] { f.store.Save_Property(SampleEntryView(faultRecord(1))); }));
        QCOMPARE(f.messages.shown.size(), 1);
        QVERIFY2(f.messages.shown.first().text.startsWith(kCannotTell), qPrintable(f.messages.shown.first().text));
        QCOMPARE(f.messages.shown.first().style, int(MB_Critical));
    }

    // A deletion runs in one transaction: cut while its statement runs, the
    // server rolls it back, and the message says that nothing was deleted;
    // cut while it commits, the outcome is unknown and the message says so
    // first, never 「…を削除できませんでした」.
    void aDeleteCutOffSaysWhatIsKnownOfIt_data()
    {
        QTest::addColumn<bool>("atCommit");
        QTest::newRow("mid-statement") << false;
        QTest::newRow("at the commit") << true;
    }

    void aDeleteCutOffSaysWhatIsKnownOfIt()
    {
        QFETCH(bool, atCommit);
        StoreFixture f(QDir::tempPath(), serverEngine(desktop()));
        f.openOrDie();
        f.store.Save_Property(SampleEntryView(faultRecord(1)));
        FakeGrid grid;
        f.store.Fill_Property_List(grid);
        grid.selection = { 1 };
        f.messages.shown.clear();
        cutTheConnectionOn(QStringLiteral("DELETE"), atCommit);
        QVERIFY(!runHandler(f.messages, [&] { f.store.Delete_Property(grid); }));
        QCOMPARE(f.messages.shown.size(), 1);
        const QString text = f.messages.shown.first().text;
        if (atCommit) {
            QVERIFY2(text.startsWith(kCannotTell), qPrintable(text));
        } else {
            QVERIFY2(text.contains(QStringLiteral("どれも削除されていません")) && !text.contains(kCannotTell),
                qPrintable(text));
        }
        QCOMPARE(m_server->exec(QStringLiteral("SELECT count(*) FROM \"Fudousan\"")), QStringList { "1" });
    }

    void aTextTheServerCannotHoldIsRefusedNotCut()
    {
        StoreFixture f(QDir::tempPath(), serverEngine(desktop()));
        f.openOrDie();
        PropertyRecord r = faultRecord(1);
        r[5] = QStringLiteral("前") + QChar(0) + QStringLiteral("後");
        QVERIFY_THROWS_EXCEPTION(PlatformError, f.store.Save_Property(SampleEntryView(r)));
        QCOMPARE(
            m_server->exec(QStringLiteral("SELECT count(*) FROM \"Fudousan\"")), QStringList { QStringLiteral("0") });
    }

    // A database set to acknowledge commits before they reach the disk must
    // not make "登録を完了しました。" a promise the server may break.
    void aSaveIsDurableWhateverTheDatabaseDefault()
    {
        m_server->exec(QStringLiteral("ALTER DATABASE fudousan SET synchronous_commit = off"));
        const auto restore
            = qScopeGuard([&] { m_server->exec(QStringLiteral("ALTER DATABASE fudousan RESET synchronous_commit")); });
        StoreFixture f(QDir::tempPath(), serverEngine(desktop()));
        f.openOrDie();
        f.store.Save_Property(SampleEntryView(faultRecord(1)));
        auto setting = f.store.connection().execute(QStringLiteral("SHOW synchronous_commit"));
        QCOMPARE(setting->field(QStringLiteral("synchronous_commit")), std::optional<QString>(QStringLiteral("on")));
    }

    void fourDesktopsSavingAtOnceLoseAndTearNothing()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FUDOUSAN_TEST_SERVER"), desktop());
        std::vector<std::unique_ptr<QProcess>> drivers;
        for (int d = 0; d < 4; ++d) {
            auto p = std::make_unique<QProcess>();
            p->setProcessEnvironment(env);
            p->start(faultDriverPath(),
                { QStringLiteral("save"), QDir::tempPath(), QString::number(d * 1000),
                    QString::number(d * 1000 + 499) });
            drivers.push_back(std::move(p));
        }
        for (auto& p : drivers) {
            QVERIFY(p->waitForFinished(240000));
            QCOMPARE(p->exitCode(), 0);
        }
        TestDatabase db(*m_server);
        QString problem;
        const QSet<int> stored = storedSequences(db, &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(stored.size(), 2000);
        for (int d = 0; d < 4; ++d)
            QVERIFY(stored.contains(d * 1000) && stored.contains(d * 1000 + 499));
    }

    void aDesktopKilledWhileSavingLosesNoReportedSave()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FUDOUSAN_TEST_SERVER"), desktop());
        QSet<int> reported;
        QRandomGenerator moments = killMoments("TestPostgresStore");
        for (int kill = 0; kill < 50; ++kill) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(faultDriverPath(), { QStringLiteral("save"), QDir::tempPath(), QString::number(kill * 10000) });
            QByteArray out;
            while (!out.contains("ready\n") && p.waitForReadyRead(10000))
                out += p.readAllStandardOutput();
            QTest::qWait(int(moments.bounded(20, 120)));
            p.kill();
            p.waitForFinished(5000);
            out += p.readAllStandardOutput();
            for (const QByteArray& line : out.split('\n'))
                if (line.startsWith("saved "))
                    reported.insert(line.mid(6).toInt());
        }
        TestDatabase db(*m_server);
        QString problem;
        const QSet<int> stored = storedSequences(db, &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(reported.size() >= 50);
        QVERIFY2((reported - stored).isEmpty(), "a reported save is not on the server");
    }

    void theCopyToolMovesEveryRowBothWaysAndRefusesAFullTarget()
    {
        TestDatabase file;
        PropertyRecord quoted = TestDatabase::distinctRecord(QStringLiteral("'; DROP TABLE \"Fudousan\"; --"));
        quoted[0] = QStringLiteral("\xEF\xBB\xBF頭に BOM\t改\n行");
        for (const PropertyRecord& r : { faultRecord(3), quoted, faultRecord(1), faultRecord(4) })
            file.insert(r);
        file.exec(QStringLiteral(
            "UPDATE Fudousan SET Koutu = NULL WHERE rowid = 2; UPDATE Fudousan SET Kakaku = '' WHERE rowid = 3"));
        const auto rows = file.rows();

        QString out;
        QCOMPARE(runTool({ QStringLiteral("to-server"), file.path(), m_server->conninfo() }, &out), 0);
        TestDatabase server(*m_server);
        QVERIFY(server.rows() == rows);
        QVERIFY(runTool({ QStringLiteral("to-server"), file.path(), m_server->conninfo() }, &out) != 0);
        QVERIFY2(out.contains(QStringLiteral("空ではありません")), qPrintable(out));
        QCOMPARE(server.rowCount(), int(rows.size()));

        TestDatabase back(false);
        QCOMPARE(runTool({ QStringLiteral("from-server"), m_server->conninfo(), back.path() }, &out), 0);
        QVERIFY(QFileInfo(back.path() + QStringLiteral("-wal")).size() == 0); // the file alone holds the rows
        QVERIFY(back.rows() == rows);
        QVERIFY(runTool({ QStringLiteral("from-server"), m_server->conninfo(), file.path() }, &out) != 0);
        QCOMPARE(file.rows().size(), rows.size());
    }

    void tlsWithTheOfficeCaWorksAndAWrongNameIsRefused()
    {
        PgTestServer tls(PgTestServer::Options { true, true, false });
        if (!tls.isRunning())
            QSKIP(qPrintable(QStringLiteral("no TLS server: ") + tls.skipReason()));
        const QString base
            = QStringLiteral("port=%1 user=fudousan_desktop dbname=fudousan sslmode=verify-full sslrootcert=%2")
                  .arg(tls.port())
                  .arg(tls.caFile());
        StoreFixture good(QDir::tempPath(), serverEngine(QStringLiteral("host=localhost hostaddr=127.0.0.1 ") + base));
        QVERIFY2(good.store.Open_Database(), qPrintable(good.store.openFailure()));
        QVERIFY(good.store.Run_Query(QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()")));
        QCOMPARE(good.store.recordset().field(QStringLiteral("ssl")), std::optional<QString>(QStringLiteral("t")));

        StoreFixture wrong(QDir::tempPath(), serverEngine(QStringLiteral("host=127.0.0.1 ") + base));
        QVERIFY(!wrong.store.Open_Database());
        QVERIFY2(wrong.store.openFailure().contains(QStringLiteral("証明書が接続先の名前と一致しない")),
            qPrintable(wrong.store.openFailure()));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestPostgresStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestPostgresStore.moc"
