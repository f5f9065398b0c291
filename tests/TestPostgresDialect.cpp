// The server takes the store's statements, written for SQLite, after one
// translation: "?" marks become $1, $2, ... and bare names find their real,
// mixed-case spelling. No server is needed.
#include "platform/PlatformError.h"
#include "platform/postgres/PostgresDialect.h"

#include <QTest>

using postgres_engine::translateStatement;

class TestPostgresDialect : public QObject
{
    Q_OBJECT

private slots:
    void translation_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("parameters");
        QTest::addColumn<QString>("expected");

        QTest::newRow("marks in order") << "INSERT INTO Fudousan (Kakaku, Syozai) VALUES (?, ?)" << 2
                                        << R"(INSERT INTO "Fudousan" ("Kakaku", "Syozai") VALUES ($1, $2))";
        QTest::newRow("names in any case")
            << "select * from FUDOUSAN where syozai = ?" << 1 << R"(select * from "Fudousan" where "Syozai" = $1)";
        QTest::newRow("quoted text is left as it is")
            << "SELECT 'Syozai ?', 'it''s ?' FROM Fudousan WHERE Syozai = ?" << 1
            << R"(SELECT 'Syozai ?', 'it''s ?' FROM "Fudousan" WHERE "Syozai" = $1)";
        QTest::newRow("quoted names are the writer's") << R"(SELECT "syozai" FROM "Fudo""usan" WHERE rowid = ?)" << 1
                                                       << R"(SELECT "syozai" FROM "Fudo""usan" WHERE rowid = $1)";
        QTest::newRow("a comment keeps its marks")
            << "SELECT 1 -- why ? Syozai\nFROM Fudousan" << 0 << "SELECT 1 -- why ? Syozai\nFROM \"Fudousan\"";
        QTest::newRow("part of a longer word")
            << "SELECT Syozai_2, xSyozai, Syozai$ FROM t" << 0 << "SELECT Syozai_2, xSyozai, Syozai$ FROM t";
        QTest::newRow("Japanese text beside names") << "SELECT Syozai||'所在'||Kakaku FROM Fudousan" << 0
                                                    << R"(SELECT "Syozai"||'所在'||"Kakaku" FROM "Fudousan")";
    }

    void translation()
    {
        QFETCH(QString, statement);
        QFETCH(int, parameters);
        QFETCH(QString, expected);
        const QHash<QString, QString> names { { "fudousan", "Fudousan" }, { "syozai", "Syozai" },
            { "kakaku", "Kakaku" } };
        QCOMPARE(QString::fromUtf8(translateStatement(statement, parameters, names)), expected);
    }

    // A statement whose marks do not match its values is never sent.
    void markCountMustMatchTheValues()
    {
        QVERIFY_THROWS_EXCEPTION(PlatformError, translateStatement("SELECT ? , ?", 1, {}));
        QVERIFY_THROWS_EXCEPTION(PlatformError, translateStatement("SELECT '?'", 1, {}));
    }
};

QTEST_GUILESS_MAIN(TestPostgresDialect)
#include "TestPostgresDialect.moc"
