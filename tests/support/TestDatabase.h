#pragma once

#include "model/PropertyRecord.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <vector>

class DatabaseEngine;
class PgTestServer;
class QObject;

// A prepared Fudousan.mdb in a temporary folder, and direct access to it with
// the sqlite3 C API, so that tests check what is really in the file and do not
// read it back through the code under test.
//
// While a test server is in use (runOnBothEngines), the same calls act on the
// server's table instead, straight through libpq, and engine() is the server
// engine: one test body checks both engines.
class TestDatabase
{
public:
    // Creates the folder; with `create` also an empty prepared database.
    explicit TestDatabase(bool create = true);

    // The table of `server` as it stands (nothing reset).
    explicit TestDatabase(PgTestServer& server);

    QString folder() const { return m_dir.path(); }
    QString path() const; // folder() + "/Fudousan.mdb"

    // Runs SQL on the file directly (fails the test on error).
    void exec(const QString& sql) const;

    // Appends a row with the given values (index order of kPropertyColumns).
    void insert(const PropertyRecord& record) const;

    // Every row in the table's own order; NULL columns as std::nullopt.
    std::vector<std::vector<std::optional<QString>>> rows() const;

    int rowCount() const;

    // Every row of the deleted properties (kDeletedTable) in the order they
    // were kept: the moment of the deletion, then the 29 columns.
    std::vector<std::vector<std::optional<QString>>> deletedRows() const;

    // The first column of every row `sql` yields, NULL as "<NULL>" (fails
    // the test on error).
    QStringList values(const QString& sql) const;

    // The first column of the first row `sql` yields; std::nullopt for NULL
    // or no row (fails the test on error).
    std::optional<QString> value(const QString& sql) const;

    // A record whose every value names its column, with `tag` appended.
    static PropertyRecord distinctRecord(const QString& tag);

    // Replaces the table with one of the given column definitions ("Name TEXT",
    // ...); on the server it keeps its row identity and the desktops' grant.
    void replaceTable(const QStringList& columns) const;

    // Makes the database refuse to delete rows of `table` whose Syozai is `location`.
    void refuseDeletion(const QString& location, const QString& table = kPropertyTable) const;

    // The engine that tests should open this database with.
    static std::unique_ptr<DatabaseEngine> engine();
    static PgTestServer* server() { return s_server; }

    // Runs the test object on the SQLite file, then again on a private
    // PostgreSQL server (said to be skipped when none can start).
    static int runOnBothEngines(QObject& test, int argc, char** argv);

private:
    std::vector<std::vector<std::optional<QString>>> readRows(const QString& table, const QStringList& columns) const;

    static PgTestServer* s_server;
    PgTestServer* m_server = s_server;

private:
    QTemporaryDir m_dir;
};

// Skips a case that only a file has (where it lies, how it is written)
// while the tests run on the server. A macro, as QSKIP returns from the
// function it stands in.
#define SKIP_ON_THE_SERVER()                                                                                           \
    do {                                                                                                               \
        if (TestDatabase::server())                                                                                    \
            QSKIP("a file's own case");                                                                                \
    } while (false)
