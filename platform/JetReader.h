#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// Reading an Access (Jet 3 or Jet 4) database file, as the Windows program
// kept its properties, so that an office can bring them over. Reading only:
// the file is never written.
//
// Every failure throws PlatformError with a Japanese description that names
// the file and the reason.

// One table of an open Jet file, read forward in the table's own (physical)
// order.
class JetTable
{
public:
    virtual ~JetTable() = default;

    // The table's column names in their physical order.
    virtual QStringList columnNames() const = 0;

    // Reads the next row: one value per column of columnNames(), std::nullopt
    // for NULL (an empty text stays an empty, non-null string). Returns false
    // after the last row. Throws when a value cannot be decoded, or when the
    // file ends before every row the table declares was read.
    virtual bool nextRow(std::vector<std::optional<QString>>& values) = 0;
};

class JetReader
{
public:
    virtual ~JetReader() = default;

    // True when the file at `path` begins as a Jet 3 or Jet 4 database does.
    // Reads only its first bytes; false for a file that cannot be read.
    virtual bool isJetFile(const QString& path) const = 0;

    // Opens table `table` (matched regardless of letter case) of the Jet file
    // at `path`. Throws when the file cannot be read or is no Jet database,
    // and when it has no such table (naming the tables it has).
    virtual std::unique_ptr<JetTable> openTable(const QString& path, const QString& table) = 0;
};
