#include "platform/sqlite/SqliteDatabaseEngine.h"

#include "platform/AppendingRowSet.h"
#include "platform/PlatformError.h"
#include "platform/WholeResultRowSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QVector>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Owns the sqlite3 handle; row sets keep it alive through a shared_ptr so a
// row set can never outlive the handle it reads from.
// What the path showed when this connection last looked: the file's identity
// and times, and the head of the shared-memory index that every connection
// of the file writes to as it works.
struct FileMark
{
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    QByteArray header; // the database header: its counters change with the content
    QByteArray index; // the first bytes of Fudousan.mdb-shm, when there is one
};

FileMark markOf(const QString& path)
{
    FileMark mark;
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return mark;
    mark.present = true;
    mark.device = info.st_dev;
    mark.inode = info.st_ino;
    mark.size = info.st_size;
    mark.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        mark.header = file.read(100);
    QFile index(path + QStringLiteral("-shm"));
    if (index.open(QIODevice::ReadOnly))
        mark.index = index.read(136); // index header and checkpoint information
    return mark;
}

struct Handle
{
    sqlite3* db = nullptr;
    QString path;
    bool watching = false; // set once open: every operation checks the path first
    FileMark opened; // the file this connection opened
    FileMark seen; // after this connection's last operation
    QString lost; // why this connection may no longer touch the path
    bool walReady = false; // the file is in WAL mode, or this connection cannot write
    bool markRaised = false; // user_version holds at least every table's highest rowid
    ~Handle() { sqlite3_close_v2(db); }
};
using HandlePtr = std::shared_ptr<Handle>;

// Makes the handle refuse every further operation with `reason`. Closing it
// then folds nothing into whatever file now has the path.
[[noreturn]] void lose(Handle& handle, const QString& reason)
{
    handle.lost = reason;
    sqlite3_db_config(handle.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    throw PlatformError(reason);
}

// Checks, before an operation, that the path still names the file that was
// opened, and remembers afterwards what this connection left there.
//
// Another file at the path (moved, deleted, renamed over): the rows written
// so far are folded into the opened file, wherever it is now, so that its
// log beside the path is empty and cannot spill into a file put there. The
// same file changed while no connection of it worked (copied over with cp):
// SQLite would mix its cached pages of the old content into the new one, so
// nothing more is done with it.
class PathWatch
{
public:
    explicit PathWatch(Handle& handle)
        : m_handle(handle)
    {
        if (!handle.watching)
            return;
        if (!handle.lost.isEmpty())
            throw PlatformError(handle.lost);
        const FileMark now = markOf(handle.path);
        const QString message
            = QStringLiteral("データベースファイル %1 が、このプログラムの使用中に移動されたか、削除されたか、"
                             "別のファイルに置き換えられました。このファイルには何も書き込んでいません。"
                             "プログラムを終了して、起動し直して下さい。")
                  .arg(QDir::toNativeSeparators(handle.path));
        if (!now.present || now.device != handle.opened.device || now.inode != handle.opened.inode) {
            sqlite3_wal_checkpoint_v2(handle.db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
            lose(handle, message);
        }
        const bool contentChanged = now.size != handle.seen.size || now.modifiedNs != handle.seen.modifiedNs
            || now.header != handle.seen.header;
        if (contentChanged && !handle.seen.index.isEmpty() && now.index == handle.seen.index)
            lose(handle, message);
    }
    ~PathWatch()
    {
        if (m_handle.watching && m_handle.lost.isEmpty())
            m_handle.seen = markOf(m_handle.path);
    }

private:
    Handle& m_handle;
};

struct Statement
{
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

bool canWrite(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// Why a file-level operation failed, told from what the file system allows
// this process: the engine's own codes do not tell a read-only file from a
// folder in which the journal files cannot be created.
QString describeAccess(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!canWrite(path))
        return QStringLiteral("データベースファイル %1 は読み取り専用のため、書き込めません。"
                              "ファイルの読み取り専用の設定を外して下さい。")
            .arg(QDir::toNativeSeparators(path));
    if (!canWrite(folder))
        return QStringLiteral("データベースファイルのあるフォルダー %1 に書き込めないため、"
                              "作業用ファイル（Fudousan.mdb-wal など）を作れません。"
                              "フォルダーに書き込めるようにして下さい。")
            .arg(QDir::toNativeSeparators(folder));
    return QString();
}

// True when the disk that holds the database has (almost) no room left: the
// engine reports that as an I/O error when the shared-memory index or the log
// cannot grow.
bool diskFull(const QString& path)
{
    struct statvfs disk;
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &disk) != 0)
        return false;
    return quint64(disk.f_bavail) * disk.f_frsize < 64 * 1024;
}

QString describeCode(int code, const QString& path)
{
    const QString file = QDir::toNativeSeparators(path);
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("データベースファイル %1 は他のプログラムが使用中です。"
                              "%2 秒待ちましたが空きませんでした。しばらく待ってからやり直して下さい。")
            .arg(file)
            .arg(SqliteDatabaseEngine::kBusyTimeoutMs / 1000);
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_IOERR: {
        const QString access = describeAccess(path);
        if (!access.isEmpty())
            return access;
        if (diskFull(path))
            return describeCode(SQLITE_FULL, path);
        if ((code & 0xff) == SQLITE_READONLY)
            return QStringLiteral("データベースファイル %1 に書き込めません。").arg(file);
        if ((code & 0xff) == SQLITE_IOERR)
            return QStringLiteral("データベースファイル %1 の読み書きに失敗しました。").arg(file);
        if ((code & 0xff) == SQLITE_CANTOPEN)
            return QStringLiteral("データベースファイル %1 を開けません。").arg(file);
        return QStringLiteral("データベースファイル %1 へのアクセスが許可されていません。").arg(file);
    }
    case SQLITE_NOTADB:
        return QStringLiteral("%1 はデータベースファイルではありません。").arg(file);
    case SQLITE_CORRUPT:
        return QStringLiteral("データベースファイル %1 が壊れています。").arg(file);
    case SQLITE_FULL:
        return QStringLiteral("ディスクがいっぱいです。データベースファイル %1 のあるディスクに空きを作ってから、"
                              "やり直して下さい。")
            .arg(file);
    case SQLITE_TOOBIG:
        return QStringLiteral("値が大きすぎるため、保存できませんでした。");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("データベースが値を受け付けませんでした。");
    default:
        return QStringLiteral("データベースの処理に失敗しました。");
    }
}

[[noreturn]] void fail(sqlite3* db, int code, const QString& path)
{
    const char* engineText = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    // A statement on a table the file does not have: say which, in words the
    // user can act on.
    static const QByteArray kNoSuchTable("no such table: ");
    if (QByteArray(engineText).startsWith(kNoSuchTable)) {
        const QString table = QString::fromUtf8(QByteArray(engineText).mid(kNoSuchTable.size()));
        throw PlatformError(QStringLiteral("このデータベースファイル（%1）には表 %2 がありません。").arg(path, table));
    }
    QString text = describeCode(code, path);
    text += QStringLiteral("\n（%1）").arg(QString::fromUtf8(engineText));
    throw PlatformError(text);
}

// A statement's whole result, read at once. Holding no statement open keeps
// every later write of the same connection in a transaction of its own: in
// SQLite a pending SELECT would delay the commit of the connection's writes.
class ResultRowSet : public WholeResultRowSet
{
public:
    ResultRowSet(QStringList names, QVector<QByteArray> cells, QVector<bool> nulls)
        : WholeResultRowSet(names)
        , m_width(int(names.size()))
        , m_cells(std::move(cells))
        , m_nulls(std::move(nulls))
    {
    }

protected:
    int rowCount() const override { return m_width == 0 ? 0 : int(m_cells.size() / m_width); }
    bool isNull(int row, int column) const override { return m_nulls.at(qsizetype(row) * m_width + column); }
    QByteArrayView cell(int row, int column) const override { return m_cells.at(qsizetype(row) * m_width + column); }

private:
    int m_width;
    QVector<QByteArray> m_cells; // row-major
    QVector<bool> m_nulls;
};

QByteArray quoteIdentifier(const QString& name)
{
    QByteArray quoted = name.toUtf8();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

void prepare(const HandlePtr& handle, const QByteArray& sql, Statement& statement)
{
    const int rc = sqlite3_prepare_v2(handle->db, sql.constData(), int(sql.size()), &statement.stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(handle->db, rc, handle->path);
}

std::unique_ptr<RowSet> runToEnd(const HandlePtr& handle, const QString& sql, const QStringList& parameters);

// WAL with synchronous=FULL: each committed row is on disk when the commit
// returns, and readers never block the writer. The switch is made at the
// first write, not at open, so that a file that is refused or only read is
// left exactly as it was.
void makeWalReady(const HandlePtr& handle)
{
    if (handle->walReady)
        return;
    handle->walReady = true;
    try {
        runToEnd(handle, QStringLiteral("PRAGMA journal_mode=WAL"), {});
    } catch (...) {
        handle->walReady = false;
        throw;
    }
}

class Transaction;
void raiseRowidMark(const HandlePtr& handle);

// Before the first write of a connection: WAL mode, and the rowid mark
// brought up to the rows that others (another program, an earlier version)
// added, so that no row added later takes the rowid of one deleted now.
void prepareWrites(const HandlePtr& handle)
{
    makeWalReady(handle);
    if (handle->markRaised || !sqlite3_get_autocommit(handle->db))
        return;
    handle->markRaised = true;
    try {
        raiseRowidMark(handle);
    } catch (...) {
        handle->markRaised = false;
        throw;
    }
}

std::unique_ptr<RowSet> runToEnd(const HandlePtr& handle, const QString& sql, const QStringList& parameters)
{
    PathWatch watch(*handle);
    Statement statement;
    prepare(handle, sql.toUtf8(), statement);
    if (!sqlite3_stmt_readonly(statement.stmt))
        prepareWrites(handle);
    if (sqlite3_bind_parameter_count(statement.stmt) != parameters.size())
        throw PlatformError(QStringLiteral("SQL文の引数の数が合いません。"));
    for (int i = 0; i < parameters.size(); ++i) {
        const QByteArray value = parameters.at(i).toUtf8();
        const int rc = sqlite3_bind_text(statement.stmt, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            fail(handle->db, rc, handle->path);
    }

    const int width = sqlite3_column_count(statement.stmt);
    QStringList names;
    for (int c = 0; c < width; ++c)
        names << QString::fromUtf8(sqlite3_column_name(statement.stmt, c));

    QVector<QByteArray> cells;
    QVector<bool> nulls;
    for (;;) {
        const int rc = sqlite3_step(statement.stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            fail(handle->db, rc, handle->path);
        for (int c = 0; c < width; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.stmt, c));
            nulls.append(text == nullptr);
            cells.append(text ? QByteArray(text, sqlite3_column_bytes(statement.stmt, c)) : QByteArray());
        }
    }
    return std::make_unique<ResultRowSet>(std::move(names), std::move(cells), std::move(nulls));
}

// One write transaction over several statements: committed by commit(),
// rolled back when left otherwise.
class Transaction
{
public:
    explicit Transaction(const HandlePtr& handle)
        : m_handle(handle)
    {
        run("BEGIN IMMEDIATE");
    }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_handle->db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        run("COMMIT");
        m_done = true;
    }

private:
    void run(const char* sql)
    {
        const int rc = sqlite3_exec(m_handle->db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            fail(m_handle->db, rc, m_handle->path);
    }
    const HandlePtr& m_handle;
    bool m_done = false;
};

void raiseRowidMark(const HandlePtr& handle)
{
    auto tables = runToEnd(handle,
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                       "AND name NOT LIKE 'sqlite%'"),
        {});
    qint64 highest = 0;
    for (; !tables.get()->atEnd(); tables->moveNext()) {
        const QString table = tables->field(QStringLiteral("name")).value_or(QString());
        Statement statement;
        const QByteArray sql = "SELECT max(rowid) FROM " + quoteIdentifier(table);
        if (sqlite3_prepare_v2(handle->db, sql.constData(), int(sql.size()), &statement.stmt, nullptr) != SQLITE_OK)
            continue; // a table without rowids
        if (sqlite3_step(statement.stmt) == SQLITE_ROW)
            highest = qMax<qint64>(highest, sqlite3_column_int64(statement.stmt, 0));
    }
    auto mark = runToEnd(handle, QStringLiteral("PRAGMA user_version"), {});
    const qint64 current
        = mark->atEnd() ? 0 : mark->field(QStringLiteral("user_version")).value_or(QString()).toLongLong();
    if (highest <= current || highest > 0x7fffffff)
        return;
    Transaction transaction(handle);
    runToEnd(handle, QStringLiteral("PRAGMA user_version = %1").arg(highest), {});
    transaction.commit();
}

// An updatable cursor over one table of the file.
class TableRowSet : public AppendingRowSet
{
public:
    TableRowSet(HandlePtr handle, QString table, QStringList columnNames)
        : AppendingRowSet(std::move(table), std::move(columnNames))
        , m_handle(std::move(handle))
    {
    }

private:
    std::unique_ptr<RowSet> readRows() override
    {
        return runToEnd(m_handle, QStringLiteral("SELECT * FROM ") + QString::fromUtf8(quoteIdentifier(table())), {});
    }

    void insertRow(const QMap<QString, QString>& row) override
    {
        // The new row's rowid is one past the highest ever given in this
        // file, which the file's user_version remembers: SQLite alone would
        // give a deleted last row's rowid again, and a list filled before
        // that deletion would then take the new row for the deleted one.
        QByteArrayList names { "rowid" };
        QByteArrayList marks {
            "(SELECT max(coalesce(max(rowid), 0), (SELECT user_version FROM pragma_user_version)) + 1 "
            "FROM "
            + quoteIdentifier(table()) + ")"
        };
        QStringList values;
        for (auto it = row.cbegin(); it != row.cend(); ++it) {
            names << quoteIdentifier(it.key());
            marks << "?";
            values << it.value();
        }
        const QByteArray sql = "INSERT INTO " + quoteIdentifier(table()) + " (" + names.join(", ") + ") VALUES ("
            + marks.join(", ") + ")";
        PathWatch watch(*m_handle);
        prepareWrites(m_handle);
        Transaction transaction(m_handle);
        runToEnd(m_handle, QString::fromUtf8(sql), values);
        const sqlite3_int64 rowid = sqlite3_last_insert_rowid(m_handle->db);
        if (rowid > 0 && rowid <= 0x7fffffff)
            runToEnd(m_handle, QStringLiteral("PRAGMA user_version = %1").arg(rowid), {});
        transaction.commit();
    }

    HandlePtr m_handle;
};

// Reads the first bytes of a file to tell what kind of file it is, so that the
// user learns more than "not a database".
QString describeForeignFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(64);
    if (head.isEmpty())
        return QStringLiteral("データベースファイルが空です（0バイト）。");
    if (head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) && head.mid(4, 15) == "Standard Jet DB")
        return QStringLiteral(
            "このファイルは Access（Jet）形式のデータベースです。このプログラムはそのままでは開けません。"
            "SQLite 形式のデータベースに移し替えて下さい。");
    if (head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) && head.mid(4, 15) == "Standard ACE DB")
        return QStringLiteral(
            "このファイルは Access（ACE）形式のデータベースです。このプログラムはそのままでは開けません。"
            "SQLite 形式のデータベースに移し替えて下さい。");
    if (!head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return QStringLiteral("データベースファイルではありません（SQLite 形式でも Access 形式でもありません）。");
    const qint64 size = QFileInfo(path).size();
    if (head.size() < 64 || size < 512)
        return QStringLiteral("データベースファイルが途中で切れています（%1 バイトしかありません）。").arg(size);

    // The header records the size the file had at its last complete write
    // (valid when the change counter matches the version-valid-for number).
    // A shorter file lost its end, unless a WAL file still holds pages that
    // have not been copied back yet.
    file.seek(0);
    const QByteArray header = file.read(100);
    auto be32 = [&](int at) {
        return (quint32(quint8(header[at])) << 24) | (quint32(quint8(header[at + 1])) << 16)
            | (quint32(quint8(header[at + 2])) << 8) | quint32(quint8(header[at + 3]));
    };
    if (header.size() == 100) {
        quint32 pageSize = (quint32(quint8(header[16])) << 8) | quint8(header[17]);
        if (pageSize == 1)
            pageSize = 65536;
        const quint64 expected = quint64(pageSize) * be32(28);
        const QFileInfo wal(path + QStringLiteral("-wal"));
        const bool walHoldsPages = wal.exists() && wal.size() > 0;
        if (be32(24) == be32(92) && expected > quint64(size) && !walHoldsPages)
            return QStringLiteral(
                "データベースファイルが途中で切れています（%1 バイトあるはずが %2 バイトしかありません）。")
                .arg(expected)
                .arg(size);
    }
    return QString();
}

class SqliteConnection : public Connection
{
public:
    void open(const QString& path) override
    {
        m_handle.reset();
        const QFileInfo info(path);
        if (!info.exists())
            throw PlatformError(QStringLiteral("データベースファイルがありません。"));
        if (!info.isFile())
            throw PlatformError(QStringLiteral("データベースファイルの場所にフォルダーがあります。"));
        const QString foreign = describeForeignFile(path);
        if (!foreign.isEmpty())
            throw PlatformError(foreign);

        auto handle = std::make_shared<Handle>();
        handle->path = path;
        // READWRITE without CREATE: a missing file stays missing.
        const int rc = sqlite3_open_v2(
            QFile::encodeName(path).constData(), &handle->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK)
            fail(handle->db, rc, path);
        sqlite3_extended_result_codes(handle->db, 0);
        sqlite3_busy_timeout(handle->db, SqliteDatabaseEngine::kBusyTimeoutMs);

        // Reading the schema is the first real read of the file: it finds
        // files that only look like databases. The quick check then reads
        // every page once, so a damaged file is refused now and never
        // written to. None of these statements writes to the file.
        handle->walReady = true;
        handle->markRaised = true; // opening writes nothing
        runToEnd(handle, QStringLiteral("SELECT count(*) FROM sqlite_master"), {});
        auto check = runToEnd(handle, QStringLiteral("PRAGMA quick_check(1)"), {});
        const QString verdict
            = check->atEnd() ? QString() : check->field(QStringLiteral("quick_check")).value_or(QString());
        if (verdict != QLatin1String("ok"))
            throw PlatformError(QStringLiteral("データベースファイル %1 が壊れています。\n（%2）")
                                    .arg(QDir::toNativeSeparators(path), verdict));
        auto mode = runToEnd(handle, QStringLiteral("PRAGMA journal_mode"), {});
        handle->walReady = sqlite3_db_readonly(handle->db, "main")
            || (!mode->atEnd()
                && mode->field(QStringLiteral("journal_mode")).value_or(QString()) == QLatin1String("wal"));
        runToEnd(handle, QStringLiteral("PRAGMA synchronous=FULL"), {});
        handle->markRaised = false;
        handle->opened = markOf(path);
        handle->seen = handle->opened;
        handle->watching = handle->opened.present;
        m_handle = std::move(handle);
    }

    bool isOpen() const override { return m_handle != nullptr; }

    std::unique_ptr<RowSet> execute(const QString& statement, const QStringList& parameters) override
    {
        return runToEnd(handle(), statement, parameters);
    }

    std::unique_ptr<RowSet> openTable(const QString& table) override
    {
        const HandlePtr& h = handle();
        Statement statement;
        prepare(h, "SELECT * FROM " + quoteIdentifier(table) + " LIMIT 0", statement);
        QStringList names;
        for (int c = 0; c < sqlite3_column_count(statement.stmt); ++c)
            names << QString::fromUtf8(sqlite3_column_name(statement.stmt, c));
        return std::make_unique<TableRowSet>(h, table, names);
    }

    // The log is folded in and cut to nothing: a -wal beside an idle file
    // holds no data, so a file copied away is complete and a backup copied
    // back is never overlaid with another file's pages.
    bool checkpoint() override
    {
        const HandlePtr& h = handle();
        PathWatch watch(*h);
        const int rc = sqlite3_wal_checkpoint_v2(h->db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            return false;
        if (rc != SQLITE_OK)
            fail(h->db, rc, h->path);
        return true;
    }

    void copyTo(const QString& path) override
    {
        const HandlePtr& h = handle();
        PathWatch watch(*h);
        const QByteArray file = QFile::encodeName(path);
        const auto failed = [&](const QString& why) {
            ::unlink(file.constData());
            throw PlatformError(QStringLiteral("%1 にデータベースの写しを書けませんでした。%2")
                                    .arg(QDir::toNativeSeparators(path), why));
        };
        {
            // VACUUM INTO only reads the database; it is no write of this
            // connection, so none of the write preparations run.
            Statement statement;
            prepare(h, "VACUUM INTO ?", statement);
            const QByteArray target = path.toUtf8();
            sqlite3_bind_text(statement.stmt, 1, target.constData(), int(target.size()), SQLITE_TRANSIENT);
            const int rc = sqlite3_step(statement.stmt);
            if (rc != SQLITE_DONE)
                failed((rc & 0xff) == SQLITE_FULL || diskFull(path)
                        ? QStringLiteral("ディスクがいっぱいです。")
                        : QStringLiteral("（%1）").arg(QString::fromUtf8(sqlite3_errmsg(h->db))));
        }
        // The copy is checked on its own connection, then made durable:
        // VACUUM INTO does not sync what it wrote.
        sqlite3* copy = nullptr;
        QString verdict;
        if (sqlite3_open_v2(file.constData(), &copy, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* check = nullptr;
            if (sqlite3_prepare_v2(copy, "PRAGMA integrity_check(1)", -1, &check, nullptr) == SQLITE_OK
                && sqlite3_step(check) == SQLITE_ROW)
                verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
            sqlite3_finalize(check);
        }
        sqlite3_close_v2(copy);
        if (verdict != QLatin1String("ok"))
            failed(QStringLiteral("写しの検査に通りませんでした。（%1）").arg(verdict));
        const int fd = ::open(file.constData(), O_RDONLY);
        const bool synced = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!synced)
            failed(QStringLiteral("書き込みを確定できませんでした。"));
    }

    QString rowKeyColumn() const override { return QStringLiteral("rowid"); }

private:
    const HandlePtr& handle() const
    {
        if (!m_handle)
            throw PlatformError(QStringLiteral("データベースに接続されていません。"));
        return m_handle;
    }

    HandlePtr m_handle;
};

} // namespace

std::unique_ptr<Connection> SqliteDatabaseEngine::createConnection()
{
    return std::make_unique<SqliteConnection>();
}
