#pragma once

#include "platform/DatabaseEngine.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AppEnvironment;
class Clock;
class EntryEditor;
class EntryView;
class Grid;
class MessageBox;
class PictureLoader;

// The list grid's columns: a line's running number (0), then its key, the
// property's Syozai (1).
constexpr int kListKeyColumn = 1;

// The answer to a show or delete with no line selected.
inline const QString kSelectDataMessage = QStringLiteral("データを選択して下さい。");

// A deleted property, as the window of deleted properties lists it.
struct DeletedProperty
{
    QString key; // its row key in the table of deleted properties
    QDateTime deletedAt; // when it was deleted, in local time
    std::optional<QString> location; // Syozai
    std::optional<QString> price; // Kakaku
};

// The property store: the one database connection of the run, the one current
// row set, and the routines that save, load, list and delete properties.
//
// The database is the file Fudousan.mdb in the environment's database
// directory (the executable's, unless the program is installed), holding
// table Fudousan (store/PropertyRecord.h). The store never creates the file,
// the table or a column.
//
// Values (locations, row keys) are always bound as statement parameters,
// never pasted into SQL text, so a location with quotes selects exactly the
// rows whose Syozai equals it. The list, the load and the delete find a row by
// its row key, the engine's row identity, so a line stands for one row even
// when several rows share a location.
//
// Failures: the three connection routines catch every failure and report it
// only by their result. The other routines catch nothing: a failing database
// operation throws PlatformError out of them, and rows already stored stay.
class PropertyStore
{
public:
    PropertyStore(DatabaseEngine& engine, AppEnvironment& environment, MessageBox& messages, PictureLoader& pictures);
    ~PropertyStore();

    PropertyStore(const PropertyStore&) = delete;
    PropertyStore& operator=(const PropertyStore&) = delete;

    // --- Connection and current row set ------------------------------------

    // Opens Db_Connection on databasePath() (on nothing, for an engine that
    // keeps no file: no file is placed or looked for). Returns false on any failure and
    // keeps its description for openFailure(); shows nothing. A file that is
    // not a database, or lacks table Fudousan or one of its 29 columns, is a
    // failed open.
    bool Open_Database();

    // Releases the current row set and the connection. With the last
    // connection gone the engine leaves the database file complete on its
    // own, with no log beside it. Called when the program ends.
    void Close_Database();

    // Runs one statement ("?" bound to `parameters` in order) on Db_Connection
    // and makes its result the current row set. Returns false on failure and
    // then leaves the previous row set current. Shows nothing.
    bool Run_Query(const QString& statement, const QStringList& parameters = {});

    // Makes an updatable cursor over the whole table Fudousan the current row
    // set. Returns false on failure, leaving the current row set as it was.
    bool Open_Property_Table();

    // The environment's database directory followed by "/Fudousan.mdb".
    QString databasePath() const;

    // How messages name the database: the file's path, or the server and
    // database that the engine reaches instead.
    QString databaseLocation() const;

    // Whether the database is the file at databasePath() (false when the
    // engine reaches a server instead).
    bool usesFile() const { return m_engine.usesFile(); }

    // Why the last Open_Database failed, in Japanese; empty after a success.
    QString openFailure() const { return m_openFailure; }

    // Db_Connection, or a fresh unopened connection when there is none, on
    // which every statement fails.
    Connection& connection();

    // Db_Recordset, or a closed row set when there is none, on which every
    // operation fails.
    RowSet& recordset();

    // Whether Db_Connection is there and open.
    bool isOpen() const;

    // Whether a row set is current (none after a save, or after
    // releaseRecordset()).
    bool hasRecordset() const { return Db_Recordset != nullptr; }

    // Lets go of the current row set and what it holds; recordset() is then
    // a closed one.
    void releaseRecordset() { Db_Recordset.reset(); }

    // --- The map picture of the property on the entry screen -----------------

    // Map_Image_Path: the path of the map picture last chosen (or loaded with
    // a property); saving writes it into column Madori.
    const QString& mapImagePath() const { return Map_Image_Path; }

    // The show-map button's choice; an empty path means no map.
    void setMapImagePath(const QString& path) { Map_Image_Path = path; }

    // --- Saving -------------------------------------------------------------

    // Appends the screen's 28 texts and Map_Image_Path as a new row, then
    // shows "登録を完了しました。". Throws PlatformError when the row is not
    // stored; the message then does not appear.
    void Save_Property(const EntryView& screen);

    // Appends the property when no row has `location` yet (with the message
    // of Save_Property), then calls printFlyer in every case. Throws when a
    // save fails; printFlyer is then not called.
    void Save_If_New_And_Print(
        const QString& location, const EntryView& screen, const std::function<void()>& printFlyer);

    // --- Loading ------------------------------------------------------------

    // Fills `screen` from the row whose row key (Connection::rowKeyColumn,
    // as the list's line holds it) is `rowKey`: each of the 28 columns into its box, and the
    // picture of the file named in Madori into the picture box. Each column
    // and the picture succeed or fail on their own: a NULL or unreadable
    // column keeps its box's text; a NULL Madori, or a file that is missing or
    // not a picture, keeps the picture; an empty Madori clears it. When Madori
    // can be read, Map_Image_Path becomes it (even if its file is gone), so
    // that saving the loaded property again keeps its own map. A key that
    // matches no row (the row was deleted), or a failed query, changes nothing.
    // Never throws and shows nothing; says which of the three it was (why a
    // query failed: lastFailure()).
    enum class LoadResult { Loaded, RowGone, QueryFailed };
    LoadResult Load_Property(const QString& rowKey, EntryEditor& screen);

    // Why the last statement of a routine failed, in Japanese.
    QString lastFailure() const { return m_lastFailure; }

    // --- Listing and deleting -------------------------------------------------

    // Fills `grid` with one line per stored property, in the table's own
    // (registration) order: line r (r = 1, 2, ...) holds the text of r in
    // column 0 and the property's Syozai in column 1 (as text whatever the
    // file stores), and the row's key as the line's row key. Lines the grid
    // held before are replaced; an empty table leaves the grid as it was.
    // Throws PlatformError when the table cannot be read (the grid then stays
    // as it was), and when a row's Syozai is NULL (the lines above it stay).
    // REQUIRES: the grid has at least two columns.
    void Fill_Property_List(Grid& grid);

    // Deletes, with no question asked, the row each selected line was
    // filled from (other rows with the same Syozai stay), all lines in one
    // transaction: each row is first kept among the deleted properties
    // (kDeletedTable, created here in a file that lacks it) with the moment
    // of the deletion, then removed. Then resets the grid to its header,
    // refills it and shows "データの削除が出来ました。", or, when some
    // lines' rows were already gone, how many were deleted and how many were
    // gone. A refill that stops at a row it cannot list says so in a message
    // of its own, after that one. With no line selected it shows
    // "データを選択して下さい。" and does nothing else.
    // Throws PlatformError when the deletion fails: no row is deleted then
    // (the description says when the server cannot tell), the grid is
    // refilled if the table can still be read, and the completion message
    // is not shown.
    void Delete_Property(Grid& grid);

    // --- Deleted properties -----------------------------------------------------

    // Every kept deleted property, newest first (the lines of one deletion
    // in the order they were deleted, last first). None in a database
    // without the table. Throws PlatformError when the table cannot be read.
    std::vector<DeletedProperty> Deleted_Properties();

    // Puts the deleted properties `keys` (DeletedProperty::key) back, in
    // one transaction, as new rows at the end of the table (in the order
    // they were deleted), each with its values exactly as they were and a
    // new row key; they leave the deleted properties. Then refills the grid
    // and says how many came back (and how many another copy of the
    // program had already put back or removed); a refill that stops at a
    // row it cannot list says so apart. Returns the restored rows' new row
    // keys. Throws PlatformError when the transaction fails: nothing is
    // restored then (the description says when the server cannot tell).
    QStringList Restore_Properties(const QStringList& keys, Grid& grid);

    // Removes the deleted properties kept longer than kDeletedKeptDays by
    // the store's clock. Writes nothing when there are none; a failure (a
    // read-only file) leaves them for the next start. Called at start-up;
    // never throws, shows nothing.
    void Forget_Old_Deleted();

    static constexpr int kDeletedKeptDays = 365;

    // --- Daily backups --------------------------------------------------------

    // Once a day (the first call on a day the backup folder has no copy for):
    // writes a complete, checked copy of the database as
    // backup/Fudousan-YYYY-MM-DD.mdb beside the database file, then keeps the
    // 14 newest daily copies and removes older ones. Only the program's own
    // copies count and go: plain SQLite files under a name that is a real
    // date no later than today; the copy just made always stays. A name that
    // something else holds (a file, a folder, a link) is left alone and the
    // copy takes the next free one, Fudousan-YYYY-MM-DD-2.mdb, ..., which a
    // notice names. A clock seen to go back (in the run, or copies dated
    // after today) is said once. A failure (disk full, folder not writable,
    // a copy that fails its check) is shown once in the run; it never
    // touches the database or the older copies, and never throws. Called at
    // start-up and after each save.
    void Backup_If_Due();

    // The folder of the daily copies.
    QString backupFolder() const;

    static constexpr int kBackupsKept = 14;

    // The clock that dates the daily copies and the deletions (the
    // computer's, unless a test gives another). `clock` must outlive the
    // store.
    void useClock(const Clock& clock) { m_clock = &clock; }

private:
    // What the engine is given: databasePath(), or nothing for a server.
    QString enginePath() const;

    // Folds what the handler committed into the database file itself, so
    // that the file alone is complete while no handler runs. Best effort: a
    // change that cannot be folded now is committed all the same and is
    // folded by the next handler or at the end.
    void settleFile();

    // After rows were deleted or restored: resets the grid to its header,
    // refills it and shows `done`; a refill that fails is said after it, in
    // a message of its own, since the change itself was made.
    void refillThenTell(Grid& grid, const QString& done);

    // How a moment is stored in kDeletedAtColumn.
    static QString deletionMoment(const QDateTime& moment);

    // Makes the row set that `open` returns current; on failure keeps the
    // current one and the failure's description for m_lastFailure.
    bool makeCurrent(const std::function<std::unique_ptr<RowSet>()>& open);

    // --- Shared state of the run -------------------------------------------

    std::unique_ptr<Connection> Db_Connection;
    std::unique_ptr<RowSet> Db_Recordset;
    QString Map_Image_Path;

    DatabaseEngine& m_engine;
    AppEnvironment& m_environment;
    MessageBox& m_messages;
    PictureLoader& m_pictures;
    const Clock* m_clock;
    QString m_openFailure;
    QString m_lastFailure; // why the last Run_Query or Open_Property_Table failed
    QDate m_backupDay; // the day whose copy exists
    bool m_backupFailureShown = false;
    bool m_clockNoticeShown = false;
};
