#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class DatabaseBuilder;
class FileSystem;
class JetReader;
class MessageBox;

// Bringing an office's properties over from the Access (Jet) Fudousan.mdb of
// the Windows program: table Fudousan is read, written to a new prepared
// database in a temporary file beside the target, read back and compared
// value by value, and only then moved into place in one step. A failure at
// any point leaves the source exactly as it was and no temporary file.
//
// Columns are taken by name in any physical order; extra columns are left
// out (and named); a missing one refuses the conversion. Rows keep the Jet
// table's own order, values are kept exactly, NULL apart from "".
//
// Jet keeps no checksums, so a damaged byte can make a column or values read
// as something else, and the read-back agrees with the misreading. What the
// file gives reason to doubt is therefore counted and said, and the agent
// decides: a column the file declares that holds no value in any row, row
// entries that could not be read, values cut short or unreadable, more rows
// than the table declares. The original is kept as always.
class JetConversion
{
public:
    // What came over in one of the property columns.
    struct ColumnReport
    {
        QString name;
        int values = 0; // rows with a value (not NULL)
        int cutShort = 0; // values that ran past their row, cut at its end
        int unreadable = 0; // values that could not be read, brought over as NULL
        bool doubtfulDefinition = false; // the file's definition of it overlaps another column's
    };

    struct Result
    {
        int rows = 0;
        QStringList ignoredColumns; // columns of the Jet table not brought over
        int windowsMapPaths = 0; // Madori values with a drive letter or backslashes
        QString target; // where the new database is
        QString keptOriginal; // in-place conversions: the original's new name
        std::vector<ColumnReport> columns; // the 29 columns, in the table's order
        unsigned declaredRows = 0; // what the Jet table's definition declares
        int unreadableRows = 0; // row entries left out

        // What looks wrong, one Japanese sentence each; empty when nothing does.
        QStringList warnings() const;
        // How many rows have a value, column by column, in one line.
        QString valuesPerColumn() const;
    };

    // What the start-up offer came to.
    enum class Offer {
        NotJet, // the file is no Jet file: nothing asked
        Declined, // the user said いいえ: nothing written
        Converted, // the new database is in place; the message said so
        Failed, // the failure was shown; the file is as it was
    };

    JetConversion(JetReader& reader, DatabaseBuilder& builder, FileSystem& files);

    bool isJetFile(const QString& path) const;

    // Converts the Jet file `source` into a new database `target`, which must
    // not exist (and is never overwritten). Throws PlatformError.
    Result convertTo(const QString& source, const QString& target);

    // Converts the Jet file at `path` into a database at the same path; the
    // original is kept byte for byte under the next free name of
    // path + ".jet", path + ".2.jet", ... Throws PlatformError.
    Result convertInPlace(const QString& path);

    // At start-up, when `path` is a Jet file: asks whether to convert it (はい
    // the default), converts it in place on はい and says how it went.
    Offer offerAtStartUp(const QString& path, MessageBox& messages);

    // The one-line summary the command-line tool prints; with the warnings
    // and the values per column when something looks wrong.
    static QString summary(const QString& source, const Result& result);

private:
    Result convert(const QString& source, const QString& target, bool inPlace);
    void removeStaleTemporaries(const QString& target);
    QString keepOriginal(const QString& path, bool* reused);

    JetReader& m_reader;
    DatabaseBuilder& m_builder;
    FileSystem& m_files;
};
