#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Making a new database file in one go: the prepared, empty database (the
// project's own schema) filled with many rows in one transaction and read back
// without holding the rows in memory. Used to bring properties over from
// another program's file; everyday saving goes through Connection.
//
// Every failure throws PlatformError with a Japanese description naming the
// file (disk full, folder not writable, ...).

using DatabaseRow = std::vector<std::optional<QString>>;

class NewDatabase
{
public:
    virtual ~NewDatabase() = default;

    // Adds one row; one value per column given to create(), std::nullopt for
    // NULL. Nothing is in the file before commit().
    virtual void append(const DatabaseRow& values) = 0;

    // Stores every appended row; once it returns they are on disk, all in
    // the main file (no journal or WAL file holds part of them).
    virtual void commit() = 0;

    // Reads the table back from the file, in its own order, calling `visit`
    // once per row with the columns given to create(). Stops when `visit`
    // returns false.
    virtual void readBack(const std::function<bool(const DatabaseRow&)>& visit) = 0;

    // Closes the file; afterwards only the main file is left in its folder.
    virtual void close() = 0;
};

class DatabaseBuilder
{
public:
    virtual ~DatabaseBuilder() = default;

    // Creates the prepared database at `path`, which must not exist yet, and
    // opens it for appending rows of `columns` to `table`.
    virtual std::unique_ptr<NewDatabase> create(const QString& path, const QString& table, const QStringList& columns)
        = 0;

    // Removes the file at `path` with the journal and WAL files the engine may
    // have left beside it. Missing files are no failure.
    virtual void removeWithCompanions(const QString& path) = 0;
};
