#pragma once

#include "store/PropertyRecord.h"

#include <QString>
#include <QTemporaryDir>

#include <optional>
#include <vector>

// A prepared Fudousan.mdb in a temporary folder, and direct access to it with
// the sqlite3 C API, so that tests check what is really in the file and do not
// read it back through the code under test.
class TestDatabase
{
public:
    // Creates the folder; with `create` also an empty prepared database.
    explicit TestDatabase(bool create = true);

    QString folder() const { return m_dir.path(); }
    QString path() const; // folder() + "/Fudousan.mdb"

    // Runs SQL on the file directly (fails the test on error).
    void exec(const QString& sql) const;

    // Appends a row with the given values (index order of kPropertyColumns).
    void insert(const PropertyRecord& record) const;

    // Every row in the table's own order; NULL columns as std::nullopt.
    std::vector<std::vector<std::optional<QString>>> rows() const;

    int rowCount() const;

    // The first column of the first row `sql` yields; std::nullopt for NULL
    // or no row (fails the test on error).
    std::optional<QString> value(const QString& sql) const;

    // A record whose every value names its column, with `tag` appended.
    static PropertyRecord distinctRecord(const QString& tag);

private:
    QTemporaryDir m_dir;
};
