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

// What reading a table found that the file itself does not vouch for. Jet
// keeps no checksums: a damaged byte in a table's definition or a row reads
// as other values, and these counts are the only trace it leaves.
struct JetReadNotes
{
    unsigned declaredRows = 0; // the rows the table's definition declares
    int unreadableRows = 0; // row entries of the table's pages that could not be taken apart; left out
    std::vector<int> cutShort; // per column: values that ran past the end of their row, cut there
    std::vector<int> unreadable; // per column: values whose place or type could not be read; read as NULL
    std::vector<bool> doubtfulDefinition; // per column: its number in the rows is another column's too
};

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
    // after the last row. A row entry that cannot be taken apart is left out,
    // a value that runs past its row is cut at the row's end, and a value
    // whose place or type cannot be read is NULL; notes() counts each. Throws
    // when a text cannot be decoded, or when the file ends before the table's
    // pages have shown as many rows as the table declares.
    virtual bool nextRow(std::vector<std::optional<QString>>& values) = 0;

    // What the rows read so far gave reason to doubt (columns in the order
    // of columnNames()).
    virtual JetReadNotes notes() const = 0;
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
