// The database engines: the file engine opens only what exists; both bind
// values, tell NULL from the empty string and fail cleanly when misused.
#include "tests/support/TestDatabase.h"

#include "platform/PlatformError.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestDatabaseEngine : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Connection> openOn(const TestDatabase& db)
    {
        auto connection = TestDatabase::engine()->createConnection();
        connection->open(db.path());
        return connection;
    }

    SqliteDatabaseEngine m_engine;

private slots:
    void openingNeverCreatesAFile()
    {
        SKIP_ON_THE_SERVER();
        TestDatabase db(false);
        auto connection = m_engine.createConnection();
        QVERIFY_THROWS_EXCEPTION(PlatformError, connection->open(db.path()));
        QVERIFY(!QFile::exists(db.path()));
        QVERIFY(!connection->isOpen());
        QVERIFY_THROWS_EXCEPTION(PlatformError, connection->execute(QStringLiteral("SELECT 1")));
    }

    void foreignFilesAreRefusedWithAReason_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero bytes") << QByteArray() << QStringLiteral("空");
        QTest::newRow("text") << QByteArray("this is not a database\n").repeated(100)
                              << QStringLiteral("データベースファイルではありません");
        QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        jet.append(QByteArray(2048, '\x11'));
        QTest::newRow("jet") << jet << QStringLiteral("Access");
        QByteArray truncated("SQLite format 3\0", 16);
        truncated.append(QByteArray(80, '\x01'));
        QTest::newRow("truncated") << truncated << QStringLiteral("途中で切れて");
    }

    void foreignFilesAreRefusedWithAReason()
    {
        SKIP_ON_THE_SERVER();
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        TestDatabase db(false);
        QFile file(db.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();

        auto connection = m_engine.createConnection();
        try {
            connection->open(db.path());
            QFAIL("a foreign file was opened");
        } catch (const PlatformError& error) {
            QVERIFY2(error.description().contains(expected), qPrintable(error.description()));
        }
        QFile check(db.path());
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), content); // nothing written
    }

    void boundValuesMatchExactlyTheirOwnRows()
    {
        TestDatabase db;
        const QStringList keys = { QStringLiteral("a' OR '1'='1"), QStringLiteral("O'Brien \"邸\""),
            QStringLiteral("plain"), QStringLiteral("plain ") };
        for (const QString& key : keys) {
            PropertyRecord r = TestDatabase::distinctRecord(key);
            r[kSyozaiIndex] = key;
            db.insert(r);
        }
        auto connection = openOn(db);
        for (const QString& key : keys) {
            auto rows = connection->execute(QStringLiteral("SELECT * FROM Fudousan WHERE Syozai = ?"), { key });
            QVERIFY(!rows->atEnd());
            QCOMPARE(rows->field(QStringLiteral("syozai")).value(), key); // names match regardless of case
            rows->moveNext();
            QVERIFY2(rows->atEnd(), qPrintable(key));
        }
        connection->execute(QStringLiteral("DELETE FROM Fudousan WHERE Syozai = ?"), { keys.first() });
        QCOMPARE(db.rowCount(), keys.size() - 1);
    }

    void appendedRowsKeepNullApartFromEmpty()
    {
        TestDatabase db;
        auto connection = openOn(db);
        auto table = connection->openTable(QStringLiteral("Fudousan"));
        QVERIFY(table->columnNames().contains(QStringLiteral("Madori")));
        table->addNew();
        table->setField(QStringLiteral("Syozai"), QStringLiteral("所在"));
        table->setField(QStringLiteral("Kakaku"), QString());
        table->update();

        const auto rows = db.rows();
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows[0][kSyozaiIndex], std::optional<QString>(QStringLiteral("所在")));
        QCOMPARE(rows[0][kKakakuIndex], std::optional<QString>(QString(""))); // written empty: empty
        QVERIFY(!rows[0][kMadoriIndex].has_value()); // never written: NULL

        auto read = connection->execute(QStringLiteral("SELECT * FROM Fudousan"));
        QCOMPARE(read->field(QStringLiteral("Kakaku")), std::optional<QString>(QString("")));
        QCOMPARE(read->field(QStringLiteral("Madori")), std::optional<QString>());
        QVERIFY_THROWS_EXCEPTION(PlatformError, read->field(QStringLiteral("NoSuchColumn")));
    }

    void misuseOfARowSetFailsCleanly()
    {
        TestDatabase db;
        auto connection = openOn(db);
        auto empty = connection->execute(QStringLiteral("SELECT * FROM Fudousan"));
        QVERIFY(empty->atEnd());
        QVERIFY_THROWS_EXCEPTION(PlatformError, empty->field(QStringLiteral("Syozai")));
        QVERIFY_THROWS_EXCEPTION(PlatformError, empty->moveNext());
        QVERIFY_THROWS_EXCEPTION(PlatformError, empty->addNew());

        auto table = connection->openTable(QStringLiteral("Fudousan"));
        QVERIFY_THROWS_EXCEPTION(PlatformError, table->update()); // no addNew
        table->addNew();
        QVERIFY_THROWS_EXCEPTION(PlatformError, table->setField(QStringLiteral("Nope"), QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(PlatformError, connection->openTable(QStringLiteral("NoSuchTable")));
        QVERIFY_THROWS_EXCEPTION(PlatformError, connection->execute(QStringLiteral("SELEC nonsense")));
        QCOMPARE(db.rowCount(), 0);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TestDatabaseEngine test;
    return TestDatabase::runOnBothEngines(test, argc, argv);
}
#include "TestDatabaseEngine.moc"
